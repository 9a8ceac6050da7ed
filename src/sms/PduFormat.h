#pragma once
// Field values and limits of the transfer PDU layouts (TS 23.040), shared by the encoder and
// the decoder.
#include <QChar>
#include <QtGlobal>

namespace Pdu::Format {

// TS 23.040 9.1.2.5: the address value holds at most 10 octets, that is 20 semi-octets.
// TS 24.008 10.5.4.9 gives the service-centre address the same room.
inline constexpr int kMaxAddressDigits = 20;
inline constexpr quint8 kTypeInternational = 0x91;

// First-octet bits of TS 23.040 9.2.2.
inline constexpr quint8 kMtiMask = 0x03;
inline constexpr quint8 kMtiDeliver = 0x00;
inline constexpr quint8 kMtiSubmit = 0x01;
inline constexpr quint8 kMtiStatusReport = 0x02;
inline constexpr quint8 kUdhi = 0x40;
inline constexpr quint8 kSrr = 0x20; // SMS-SUBMIT: a status report is requested (9.2.3.5)
inline constexpr quint8 kVpfMask = 0x18;
inline constexpr quint8 kVpfRelative = 0x10;
inline constexpr quint8 kVpfEnhanced = 0x08;
inline constexpr quint8 kVpfAbsolute = 0x18;
// SMS-SUBMIT, relative validity period present, no status report, no reply path.
inline constexpr quint8 kSubmitFirstOctet = kMtiSubmit | kVpfRelative;

inline constexpr int kConcatHeaderOctets = 6; // UDHL, IEI 00, IEDL 03, ref, count, seq
inline constexpr int kMaxParts = 255;

inline constexpr char kHexDigits[] = "0123456789ABCDEF";
// TS 23.040 9.1.2.3: semi-octet values 10..14 of an address are "*", "#", "a", "b", "c".
inline constexpr char kAddressDigits[] = "0123456789*#abc";

// The value of one hexadecimal digit, -1 for anything else.
int HexValue(QChar c);

} // namespace Pdu::Format
