// Encode and decode rates of the PDU codec, in messages per second. Run by hand on a
// Release build; each case runs for about 1.5 s.
#include "sms/PduCodec.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr qint64 kRunMs = 1500;

void Measure(const char *name, const std::function<qsizetype()> &once)
{
    qsizetype sink = 0;
    for (int i = 0; i < 1000; ++i) // warm-up
        sink += once();
    QElapsedTimer timer;
    timer.start();
    qint64 count = 0;
    qint64 elapsed = 0;
    do {
        for (int i = 0; i < 1000; ++i)
            sink += once();
        count += 1000;
        elapsed = timer.nsecsElapsed();
    } while (elapsed < kRunMs * 1000000);
    std::printf("%-34s %10.0f msg/s  (%lld in %.2f s, check %lld)\n", name, double(count) * 1e9 / double(elapsed),
                (long long)count, double(elapsed) / 1e9, (long long)(sink % 1000));
}

SmsRecord Record(const QString &text, quint8 dcs)
{
    SmsRecord r;
    r.m_strSCA = QStringLiteral("8613800591500");
    r.m_strTPA = QStringLiteral("8613912345678");
    r.m_nDCS = dcs;
    r.m_strUD = text;
    return r;
}

} // namespace

int main()
{
    const QString chinese = QStringLiteral("短信猫群发系统测试中文字符你好世界今天天气很好我们一起去公园散步吧");
    QString ucs2Text;
    while (ucs2Text.size() < 70)
        ucs2Text += chinese;
    ucs2Text.truncate(70);
    QString gsmText;
    const QString latin = QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789 @£$ ");
    while (gsmText.size() < 160)
        gsmText += latin;
    gsmText.truncate(160);

    const SmsRecord ucs2 = Record(ucs2Text, 8);
    const SmsRecord gsm = Record(gsmText, 0);
    const QString ucs2Pdu = Pdu::EncodeSubmitPdu(ucs2).parts.value(0);
    const QString gsmPdu = Pdu::EncodeSubmitPdu(gsm).parts.value(0);
    // The same user data as an arriving SMS-DELIVER: SMSC, first octet, originating
    // address, PID, then DCS, time stamp and the submit's user-data length and data.
    const QString deliverHead = QStringLiteral("0891683108501905F0040D91683119325476F800");
    const QString stamp = QStringLiteral("52103141250023");
    const QString ucs2Deliver = deliverHead + QStringLiteral("08") + stamp + ucs2Pdu.right(2 + 280);
    const QString gsmDeliver = deliverHead + QStringLiteral("00") + stamp + gsmPdu.right(2 + 280);
    if (!Pdu::Decode(ucs2Deliver).ok || Pdu::Decode(ucs2Deliver).pdu.text != ucs2Text
        || !Pdu::Decode(gsmDeliver).ok || Pdu::Decode(gsmDeliver).pdu.text != gsmText) {
        std::fprintf(stderr, "benchmark inputs do not round-trip\n");
        return 1;
    }

    Measure("encode UCS2, 70 characters", [&] { return Pdu::EncodeSubmitPdu(ucs2).parts.value(0).size(); });
    Measure("decode UCS2, 70 characters", [&] { return Pdu::Decode(ucs2Deliver).pdu.text.size(); });
    Measure("encode 7-bit, 160 characters", [&] { return Pdu::EncodeSubmitPdu(gsm).parts.value(0).size(); });
    Measure("decode 7-bit, 160 characters", [&] { return Pdu::Decode(gsmDeliver).pdu.text.size(); });
    return 0;
}
