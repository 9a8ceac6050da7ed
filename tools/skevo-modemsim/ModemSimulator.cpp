#include "ModemSimulator.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x08;
constexpr int kMaxLine = 1024;      // a longer command line is refused
constexpr int kMaxPduText = 1024;   // TS 27.005 3.5.1: at most 164 TPDU octets plus the SMSC
constexpr int kMaxPendingOut = 64 * 1024;
constexpr int kHangUpRetryMs = 50;

// V.250 5.7.2 verbose result codes and information text, with S3 = CR and S4 = LF.
QByteArray Final(const char *code) { return QByteArray("\r\n") + code + "\r\n"; }
QByteArray Info(const QByteArray &text) { return "\r\n" + text + "\r\n"; }
// TS 27.005 3.2.5: the final result code of a failed message service command.
QByteArray CmsError(int code) { return "\r\n+CMS ERROR: " + QByteArray::number(code) + "\r\n"; }

QString Digits(QString number)
{
    if (number.startsWith(QLatin1Char('+')))
        number.remove(0, 1);
    return number;
}

// Text that crosses between the modem's thread and a caller's gets data of its own: an
// implicitly shared copy would leave the two threads one buffer to count and free.
QString Own(const QString &s)
{
    return s.isNull() ? QString() : QString(s.constData(), s.size());
}

QByteArray Own(const QByteArray &b)
{
    return b.isNull() ? QByteArray() : QByteArray(b.constData(), b.size());
}

QStringList Own(const QStringList &list)
{
    QStringList out;
    out.reserve(list.size());
    for (const QString &s : list)
        out.append(Own(s));
    return out;
}

Pdu::Decoded Own(const Pdu::Decoded &m)
{
    Pdu::Decoded out = m;
    out.smsc = Own(m.smsc);
    out.number = Own(m.number);
    out.scts = Own(m.scts);
    if (m.udh)
        out.udh = Own(*m.udh);
    out.text = Own(m.text);
    out.rawUserData = Own(m.rawUserData);
    return out;
}

} // namespace

struct ModemSimulator::Private
{
    // How a fault decides, occasion by occasion.
    struct FaultState
    {
        Fault cfg;
        int seen = 0;
        int used = 0;
        void Set(Fault f)
        {
            cfg = f;
            seen = 0;
            used = 0;
        }
        bool Fire()
        {
            if (used < cfg.next) {
                ++used;
                return true;
            }
            if (cfg.every <= 0)
                return false;
            return ++seen % cfg.every == 0;
        }
    };

    // Something to do at a moment: bytes to send or an action to run (an auto-reply).
    struct Due
    {
        QByteArray bytes;
        std::function<void()> action;
    };

    mutable std::mutex mutex;
    std::thread thread;
    bool stop = false;
    bool running = false;
    int master = -1;
    int wake[2] = {-1, -1};
    QString device;
    QString link;
    QString error;

    // Modem state.
    bool echo = true;
    bool pduMode = false; // collecting a PDU after the prompt
    QByteArray line;
    bool lineOverflow = false;
    QByteArray pduText;
    int cmgsLength = 0;
    int nextMr = 1;
    QVector<std::optional<Stored>> memory = QVector<std::optional<Stored>>(50);
    bool direct = false;

    // Faults.
    int latencyMs = 0;
    FaultState cms;
    int cmsCode = 500;
    QStringList cmsTo;
    int cmsToCode = 500;
    FaultState silent, late, split, swallow, garbage, drop;
    QByteArray refusePrefix;
    FaultState refuse;
    int refuseCode = 500;
    QByteArray losePrefix;
    FaultState lose;
    bool muted = false; // the command being carried out has its answer lost
    int lateMs = 0;
    int splitPauseMs = 300;
    QByteArray garbageBytes;
    AutoReply autoReply;
    int autoReplySeen = 0;

    // What happened.
    QVector<Submit> submits;
    QStringList commands;
    QFile logFile;

    // Output.
    std::multimap<Clock::time_point, Due> schedule;
    Clock::time_point lastAnswerDue {};
    QByteArray out;
    // Pacing: a line of N bytes a second lets out at most that many; the credit refills with
    // time and holds at most a hundredth of a second's worth, so bursts stay short.
    int paceBps = 0;
    double paceCredit = 0;
    Clock::time_point paceLast {};
    bool hungUp = false;
    Clock::time_point retryMaster {};

    // --- helpers, all called with the mutex held ---

    void Wake()
    {
        if (wake[1] >= 0) {
            const char c = 0;
            [[maybe_unused]] const ssize_t n = ::write(wake[1], &c, 1);
        }
    }

    void Log(QJsonObject o)
    {
        if (!logFile.isOpen())
            return;
        o.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
        logFile.write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
        logFile.flush();
    }

    // An answer to a command: subject to latency, garbage and loss. Pieces after the first
    // follow after pauseMs each. Answers leave in the order they were given. False when lost.
    bool Answer(const QList<QByteArray> &pieces, int extraDelayMs = 0, int pauseMs = 0)
    {
        if (muted || drop.Fire())
            return false;
        Clock::time_point due = Clock::now() + milliseconds(latencyMs + extraDelayMs);
        if (due < lastAnswerDue)
            due = lastAnswerDue;
        const bool withGarbage = garbage.Fire();
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            QByteArray b = pieces[i];
            if (i == 0 && withGarbage)
                b.prepend(garbageBytes);
            if (i > 0)
                due += milliseconds(pauseMs);
            schedule.emplace(due, Due{b, {}});
        }
        lastAnswerDue = due;
        return true;
    }
    bool Answer(const QByteArray &bytes, int extraDelayMs = 0) { return Answer(QList<QByteArray>{bytes}, extraDelayMs); }

    // Unsolicited result codes leave at once, between answers if need be.
    void Notice(const QByteArray &bytes)
    {
        schedule.emplace(Clock::now(), Due{bytes, {}});
        Wake();
    }

    void RunDue()
    {
        const Clock::time_point now = Clock::now();
        while (!schedule.empty() && schedule.begin()->first <= now) {
            auto node = schedule.extract(schedule.begin());
            if (node.mapped().action)
                node.mapped().action();
            else
                out.append(node.mapped().bytes);
        }
        if (out.size() > kMaxPendingOut) // nobody reads: keep the newest
            out = out.right(kMaxPendingOut);
    }

    double PaceBurst() const { return qMax(1.0, paceBps / 100.0); }

    void WriteOut()
    {
        qsizetype budget = out.size();
        if (paceBps > 0) {
            const Clock::time_point now = Clock::now();
            paceCredit = qMin(PaceBurst(), paceCredit + std::chrono::duration<double>(now - paceLast).count() * paceBps);
            paceLast = now;
            budget = qsizetype(paceCredit);
        }
        while (!out.isEmpty() && master >= 0 && budget > 0) {
            const ssize_t n = ::write(master, out.constData(), size_t(qMin(out.size(), budget)));
            if (n > 0) {
                out.remove(0, n);
                budget -= n;
                if (paceBps > 0)
                    paceCredit -= double(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return;
            out.clear(); // the line is gone
        }
    }

    int FirstFree() const
    {
        for (int i = 0; i < memory.size(); ++i)
            if (!memory[i])
                return i + 1;
        return -1;
    }

    Arrival Deliver(const QStringList &pdus, bool announce)
    {
        Arrival a;
        a.ok = true;
        a.pdus = pdus;
        for (const QString &pdu : pdus) {
            const Pdu::DecodeResult dec = Pdu::DecodeDeliverPdu(pdu);
            QJsonObject o {{QStringLiteral("event"), QStringLiteral("arrival")},
                           {QStringLiteral("pdu"), pdu},
                           {QStringLiteral("number"), dec.pdu.number},
                           {QStringLiteral("text"), dec.pdu.text}};
            if (announce && direct) {
                const bool swallowed = swallow.Fire();
                if (!swallowed) // TS 27.005 3.4.1, <mt> 2: +CMT: [<alpha>],<length><CR><LF><pdu>
                    Notice("\r\n+CMT: ," + QByteArray::number(Pdu::TpduLength(pdu)) + "\r\n" + pdu.toLatin1() + "\r\n");
                o.insert(QStringLiteral("notice"), swallowed ? QStringLiteral("swallowed") : QStringLiteral("+CMT"));
                Log(o);
                continue;
            }
            const int index = FirstFree();
            if (index < 0) {
                a.ok = false;
                a.error = QStringLiteral("the SM memory is full");
                o.insert(QStringLiteral("notice"), QStringLiteral("memory full"));
                Log(o);
                continue;
            }
            memory[index - 1] = Stored{index, 0, Own(pdu)};
            a.indexes.append(index);
            QString notice = QStringLiteral("none");
            if (announce) {
                if (swallow.Fire()) {
                    notice = QStringLiteral("swallowed");
                } else {
                    // TS 27.005 3.4.1, <mt> 1: +CMTI: <mem>,<index>
                    Notice("\r\n+CMTI: \"SM\"," + QByteArray::number(index) + "\r\n");
                    notice = QStringLiteral("+CMTI");
                }
            }
            o.insert(QStringLiteral("index"), index);
            o.insert(QStringLiteral("notice"), notice);
            Log(o);
        }
        Wake();
        return a;
    }

    // --- the dialogue, on the modem's thread ---

    void Feed(const char *data, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i) {
            const char c = data[i];
            if (pduMode) {
                FeedPdu(c);
                continue;
            }
            if (c == kCtrlZ || c == kEsc)
                continue; // meaningless outside a PDU
            if (echo)
                out.append(c);
            if (c == '\r') {
                const QByteArray l = line;
                const bool overflow = lineOverflow;
                line.clear();
                lineOverflow = false;
                Line(l, overflow);
                RunDue(); // the answer before the echo of what follows, as a modem does
            } else if (c == '\n') {
                // V.250 5.2.1: characters before the "AT" prefix are ignored anyway.
            } else if (c == kBackspace) {
                line.chop(1);
            } else if (line.size() < kMaxLine) {
                line.append(c);
            } else {
                lineOverflow = true;
            }
        }
    }

    void FeedPdu(char c)
    {
        if (c == kCtrlZ) {
            pduMode = false;
            SubmitPdu();
            RunDue();
            return;
        }
        if (c == kEsc) {
            // TS 27.005 3.5.1: ESC quits without sending.
            pduMode = false;
            commands.append(QStringLiteral("<ESC>"));
            Log({{QStringLiteral("cmd"), QStringLiteral("<ESC>")}});
            Answer(Final("OK"));
            RunDue();
            return;
        }
        if (c == '\r' || c == '\n' || c == ' ')
            return;
        if (echo)
            out.append(c);
        if (pduText.size() < kMaxPduText)
            pduText.append(c);
    }

    void Line(const QByteArray &raw, bool overflow)
    {
        // V.250 5.2.1: a command line starts with "AT" (either case); anything before it is
        // line noise, and a line without it gets no answer.
        qsizetype at = -1;
        for (qsizetype i = 0; i + 1 < raw.size(); ++i) {
            if ((raw[i] == 'A' || raw[i] == 'a') && (raw[i + 1] == 'T' || raw[i + 1] == 't')) {
                at = i;
                break;
            }
        }
        if (at < 0)
            return;
        const QByteArray cmdLine = raw.mid(at);
        commands.append(QString::fromLatin1(cmdLine));
        Log({{QStringLiteral("cmd"), QString::fromLatin1(cmdLine)}});
        if (overflow) {
            Answer(Final("ERROR"));
            return;
        }
        const QByteArray upper = cmdLine.toUpper();
        if (!refusePrefix.isEmpty() && upper.startsWith(refusePrefix) && refuse.Fire()) {
            Answer(CmsError(refuseCode));
            return;
        }
        muted = !losePrefix.isEmpty() && upper.startsWith(losePrefix) && lose.Fire();
        Execute(cmdLine.mid(2));
        muted = false;
    }

    enum class Outcome { Ok, Error, Prompt };

    // V.250 5.3: basic commands follow each other, extended ones are separated by ";".
    // The information text of all comes before one final result code.
    void Execute(const QByteArray &body)
    {
        QByteArray info;
        QByteArray final;
        qsizetype pos = 0;
        while (pos < body.size()) {
            const char c = char(toupper(body[pos]));
            if (c == ' ' || c == ';') {
                ++pos;
                continue;
            }
            Outcome r;
            if (c == '+') {
                qsizetype end = body.indexOf(';', pos);
                if (end < 0)
                    end = body.size();
                r = Extended(body.mid(pos + 1, end - pos - 1), info, final);
                pos = end;
            } else {
                QByteArray name(1, c);
                ++pos;
                if (c == '&' && pos < body.size())
                    name.append(char(toupper(body[pos++])));
                int value = 0;
                while (pos < body.size() && isdigit(uchar(body[pos])))
                    value = value * 10 + (body[pos++] - '0');
                r = Basic(name, value, info);
            }
            if (r == Outcome::Prompt)
                return;
            if (r == Outcome::Error) {
                Answer(info + (final.isEmpty() ? Final("ERROR") : final));
                return;
            }
        }
        Answer(info + Final("OK"));
    }

    Outcome Basic(const QByteArray &name, int value, QByteArray &info)
    {
        if (name == "E" && value <= 1) {
            echo = value == 1;
            return Outcome::Ok;
        }
        if ((name == "V" && value == 1) || (name == "Q" && value == 0) || name == "&D" || name == "&C")
            return Outcome::Ok;
        if (name == "Z" || name == "&F") {
            echo = true;
            return Outcome::Ok;
        }
        if (name == "I") {
            info += Info("Skevo simulated GSM modem");
            return Outcome::Ok;
        }
        return Outcome::Error;
    }

    // One extended command without its "+": NAME, NAME?, NAME=?, NAME=args.
    Outcome Extended(const QByteArray &text, QByteArray &info, QByteArray &final)
    {
        qsizetype cut = 0;
        while (cut < text.size() && text[cut] != '=' && text[cut] != '?')
            ++cut;
        const QByteArray name = text.left(cut).toUpper().trimmed();
        const QByteArray rest = text.mid(cut);
        const bool read = rest == "?";
        const bool test = rest == "=?";
        const bool set = rest.startsWith('=') && !test;
        const QByteArray args = set ? rest.mid(1).trimmed() : QByteArray();
        bool isInt = false;
        const int n = args.split(',').value(0).trimmed().toInt(&isInt);

        if (name == "CMGF") { // TS 27.005 3.2.3: PDU mode only
            if (read)
                info += Info("+CMGF: 0");
            else if (test)
                info += Info("+CMGF: (0)");
            else if (!(set && isInt && n == 0))
                return Outcome::Error;
            return Outcome::Ok;
        }
        if (name == "CMGS" && set) { // TS 27.005 3.5.1
            if (!isInt || n < 1 || n > 255)
                return Outcome::Error;
            cmgsLength = n;
            pduText.clear();
            pduMode = true;
            if (split.Fire())
                Answer({QByteArray("\r\n"), QByteArray("> ")}, 0, splitPauseMs);
            else
                Answer(QByteArray("\r\n> "));
            return Outcome::Prompt;
        }
        if (name == "CMGR" && set) { // TS 27.005 3.4.3
            if (!isInt || n < 1 || n > memory.size() || !memory[n - 1]) {
                final = CmsError(321);
                return Outcome::Error;
            }
            Stored &m = *memory[n - 1];
            info += "\r\n+CMGR: " + QByteArray::number(m.stat) + ",," + QByteArray::number(Pdu::TpduLength(m.pdu))
                    + "\r\n" + m.pdu.toLatin1() + "\r\n";
            m.stat = 1; // received read from now on
            return Outcome::Ok;
        }
        if (name == "CMGD" && set) { // TS 27.005 3.5.4
            const QList<QByteArray> parts = args.split(',');
            const int flag = parts.size() > 1 ? parts[1].trimmed().toInt() : 0;
            if (flag > 0) {
                for (auto &slot : memory)
                    if (slot && (flag >= 4 || slot->stat == 1))
                        slot.reset();
                return Outcome::Ok;
            }
            if (!isInt || n < 1 || n > memory.size()) {
                final = CmsError(321);
                return Outcome::Error;
            }
            memory[n - 1].reset();
            return Outcome::Ok;
        }
        if (name == "CMGL") { // TS 27.005 3.4.2
            if (test) {
                info += Info("+CMGL: (0-4)");
                return Outcome::Ok;
            }
            const int stat = set ? n : 0;
            if ((set && !isInt) || stat < 0 || stat > 4)
                return Outcome::Error;
            QByteArray list;
            for (auto &slot : memory) {
                if (!slot || (stat != 4 && slot->stat != stat))
                    continue;
                list += "+CMGL: " + QByteArray::number(slot->index) + ',' + QByteArray::number(slot->stat) + ",,"
                        + QByteArray::number(Pdu::TpduLength(slot->pdu)) + "\r\n" + slot->pdu.toLatin1() + "\r\n";
                if (slot->stat == 0)
                    slot->stat = 1;
            }
            if (!list.isEmpty())
                info += "\r\n" + list;
            return Outcome::Ok;
        }
        if (name == "CPMS") { // TS 27.005 3.2.2: one memory, "SM"
            int used = 0;
            for (const auto &slot : memory)
                used += slot ? 1 : 0;
            const QByteArray u = QByteArray::number(used) + ',' + QByteArray::number(memory.size());
            if (read)
                info += Info("+CPMS: \"SM\"," + u + ",\"SM\"," + u + ",\"SM\"," + u);
            else if (test)
                info += Info("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
            else if (set && args.toUpper().startsWith("\"SM\""))
                info += Info("+CPMS: " + u + ',' + u + ',' + u);
            else
                return Outcome::Error;
            return Outcome::Ok;
        }
        if (name == "CNMI") {
            if (read)
                info += Info(direct ? "+CNMI: 2,2,0,0,0" : "+CNMI: 2,1,0,0,0");
            return Outcome::Ok;
        }
        if (name == "CSCA") {
            if (read)
                info += Info("+CSCA: \"+8613800100500\",145");
            return Outcome::Ok;
        }
        if (name == "CSQ") {
            info += Info("+CSQ: 20,99");
            return Outcome::Ok;
        }
        if (name == "CGMI") {
            info += Info("Skevo");
            return Outcome::Ok;
        }
        if (name == "CGMM") {
            info += Info("modemsim");
            return Outcome::Ok;
        }
        if (name == "CMEE" || name == "CSCS" || name == "CSMS" || name == "CNMA")
            return Outcome::Ok;
        return Outcome::Error;
    }

    void SubmitPdu()
    {
        Submit s;
        s.declaredLength = cmgsLength;
        s.pdu = QString::fromLatin1(pduText);
        const std::optional<QByteArray> octets = Pdu::HexToOctets(s.pdu);
        if (!octets || octets->isEmpty()) {
            s.error = QStringLiteral("not hexadecimal text");
        } else if (Pdu::TpduLength(s.pdu) != cmgsLength) {
            s.error = QStringLiteral("TPDU of %1 octets, AT+CMGS said %2").arg(Pdu::TpduLength(s.pdu)).arg(cmgsLength);
        } else {
            const Pdu::DecodeResult dec = Pdu::DecodeSubmitPdu(s.pdu);
            if (dec.ok) {
                s.decoded = true;
                s.message = dec.pdu;
            } else {
                s.error = dec.error;
            }
        }

        if (!s.decoded) {
            // TS 27.005 3.2.5: 304 invalid PDU mode parameter.
            s.answer = QStringLiteral("+CMS ERROR: 304");
            if (!Answer(CmsError(304)))
                s.answer.prepend(QStringLiteral("dropped "));
        } else {
            int code = 0;
            if (cmsTo.contains(Digits(s.message.number)))
                code = cmsToCode;
            else if (cms.Fire())
                code = cmsCode;
            if (code != 0) {
                s.answer = QStringLiteral("+CMS ERROR: %1").arg(code);
                if (!Answer(CmsError(code)))
                    s.answer.prepend(QStringLiteral("dropped "));
            } else if (silent.Fire()) {
                s.answer = QStringLiteral("silent");
            } else {
                s.messageRef = nextMr;
                nextMr = (nextMr + 1) % 256;
                const QByteArray answer = Info("+CMGS: " + QByteArray::number(s.messageRef)) + Final("OK");
                s.answer = QStringLiteral("+CMGS: %1").arg(s.messageRef);
                const bool isLate = late.Fire();
                if (!Answer(answer, isLate ? lateMs : 0))
                    s.answer.prepend(QStringLiteral("dropped "));
                else if (isLate)
                    s.answer.prepend(QStringLiteral("late "));
            }
        }
        submits.append(s);

        QJsonObject o {{QStringLiteral("cmd"), QStringLiteral("AT+CMGS=%1").arg(cmgsLength)},
                       {QStringLiteral("pdu"), s.pdu},
                       {QStringLiteral("answer"), s.answer}};
        if (s.decoded) {
            o.insert(QStringLiteral("number"), s.message.number);
            o.insert(QStringLiteral("text"), s.message.text);
            o.insert(QStringLiteral("dcs"), int(s.message.dcs));
            o.insert(QStringLiteral("udh"), s.message.udh ? QJsonValue(Pdu::OctetsToHex(*s.message.udh)) : QJsonValue());
            o.insert(QStringLiteral("concat"),
                     s.message.concat ? QJsonValue(QJsonObject {{QStringLiteral("ref"), s.message.concat->ref},
                                                                {QStringLiteral("part"), s.message.concat->part},
                                                                {QStringLiteral("count"), s.message.concat->count}})
                                      : QJsonValue());
        } else {
            o.insert(QStringLiteral("error"), s.error);
        }
        Log(o);

        if (s.messageRef >= 0)
            MaybeAutoReply();
    }

    // The whole text of the message the last submit completes, or nullopt while parts are missing.
    std::optional<QString> CompletedText() const
    {
        const Submit &last = submits.constLast();
        if (!last.message.concat)
            return last.message.text;
        const Pdu::ConcatInfo c = *last.message.concat;
        QStringList parts(c.count);
        QVector<bool> have(c.count, false);
        for (auto it = submits.crbegin(); it != submits.crend(); ++it) {
            if (it->messageRef < 0 || !it->message.concat || it->message.number != last.message.number)
                continue;
            const Pdu::ConcatInfo &o = *it->message.concat;
            if (o.ref != c.ref || o.count != c.count || have[o.part - 1])
                continue;
            have[o.part - 1] = true;
            parts[o.part - 1] = it->message.text;
        }
        if (have.contains(false))
            return std::nullopt;
        return parts.join(QString());
    }

    void MaybeAutoReply()
    {
        if (!autoReply.enabled)
            return;
        const Submit &last = submits.constLast();
        if ((last.message.numberType & 0x70) == 0x50)
            return; // no one to answer
        const std::optional<QString> text = CompletedText();
        if (!text)
            return;
        if (autoReply.keyword.isEmpty()) {
            if (autoReply.every <= 0 || ++autoReplySeen % autoReply.every != 0)
                return;
        } else if (!text->contains(autoReply.keyword)) {
            return;
        }
        DeliverSpec spec;
        spec.from = ((last.message.numberType & 0x70) == 0x10 ? QStringLiteral("+") : QString()) + last.message.number;
        spec.text = QString(autoReply.text).replace(QStringLiteral("%1"), *text);
        spec.concatRef = nextMr;
        schedule.emplace(Clock::now() + milliseconds(autoReply.delayMs), Due {{}, [this, spec] {
                             const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
                             if (built.ok)
                                 Deliver(built.parts, true);
                         }});
    }

    // Milliseconds until the pace lets the next bytes out; 0 when it lets them out now.
    int PaceWait() const
    {
        if (paceBps <= 0 || out.isEmpty())
            return 0;
        const double want = qMin(double(out.size()), PaceBurst());
        if (paceCredit >= want)
            return 0;
        return int((want - paceCredit) * 1000.0 / paceBps) + 1;
    }

    void Run()
    {
        std::unique_lock lock(mutex);
        while (!stop) {
            RunDue();
            WriteOut();
            const Clock::time_point now = Clock::now();
            int timeout = -1;
            if (!schedule.empty())
                timeout = int(std::chrono::duration_cast<milliseconds>(schedule.begin()->first - now).count()) + 1;
            const int paceWait = PaceWait();
            if (paceWait > 0)
                timeout = timeout < 0 ? paceWait : qMin(timeout, paceWait);
            bool watchMaster = true;
            if (hungUp) {
                // Nobody holds the device open: the master reports a hang-up until someone
                // does. Look again after a pause instead of spinning on it.
                if (now < retryMaster) {
                    watchMaster = false;
                    const int left = int(std::chrono::duration_cast<milliseconds>(retryMaster - now).count()) + 1;
                    timeout = timeout < 0 ? left : qMin(timeout, left);
                } else {
                    hungUp = false;
                }
            }
            pollfd fds[2] = {{wake[0], POLLIN, 0},
                             {watchMaster ? master : -1, short(POLLIN | (out.isEmpty() || paceWait > 0 ? 0 : POLLOUT)), 0}};
            lock.unlock();
            const int rc = ::poll(fds, 2, qMax(timeout, -1));
            lock.lock();
            if (rc < 0)
                continue;
            if (fds[0].revents & POLLIN) {
                char drain[64];
                while (::read(wake[0], drain, sizeof drain) > 0) {
                }
            }
            if (!watchMaster)
                continue;
            if (fds[1].revents & POLLIN) {
                char buf[1024];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0) {
                    Feed(buf, n);
                    continue;
                }
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                HangUp();
            } else if (fds[1].revents & (POLLHUP | POLLERR)) {
                HangUp();
            }
        }
    }

    void HangUp()
    {
        if (!hungUp) {
            // The client let go of the line: like a modem seeing DTR drop, leave a half-typed
            // command or PDU behind.
            pduMode = false;
            line.clear();
            pduText.clear();
        }
        hungUp = true;
        retryMaster = Clock::now() + milliseconds(kHangUpRetryMs);
    }
};

ModemSimulator::ModemSimulator() : d(std::make_unique<Private>())
{
    d->garbageBytes = QByteArray("\xFE\x00#~\x7F", 5);
}

ModemSimulator::~ModemSimulator() { Stop(); }

bool ModemSimulator::Start()
{
    std::unique_lock lock(d->mutex);
    if (d->running)
        return true;
    d->error.clear();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        d->error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        if (master >= 0)
            ::close(master);
        return false;
    }
    // Raw line on the device side (on Linux the termios calls on the master act on the
    // slave): no echo by the line discipline, no CR/LF translation, until a client sets
    // its own.
    termios t {};
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    if (::pipe2(d->wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        d->error = QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(master);
        return false;
    }
    d->master = master;
    d->device = QString::fromLocal8Bit(name);
    d->stop = false;
    d->hungUp = false;
    d->running = true;
    d->thread = std::thread([this] { d->Run(); });
    return true;
}

void ModemSimulator::Stop()
{
    std::thread t;
    {
        std::unique_lock lock(d->mutex);
        if (!d->running)
            return;
        d->stop = true;
        d->Wake();
        t = std::move(d->thread);
    }
    t.join();
    std::unique_lock lock(d->mutex);
    ::close(d->master);
    ::close(d->wake[0]);
    ::close(d->wake[1]);
    d->master = d->wake[0] = d->wake[1] = -1;
    d->running = false;
    d->schedule.clear();
    d->out.clear();
    d->pduMode = false;
    d->line.clear();
    if (!d->link.isEmpty()) {
        const QFileInfo fi(d->link);
        if (fi.isSymLink() && fi.symLinkTarget() == d->device)
            QFile::remove(d->link);
        d->link.clear();
    }
    d->device.clear();
}

bool ModemSimulator::IsRunning() const
{
    std::unique_lock lock(d->mutex);
    return d->running;
}

QString ModemSimulator::ErrorString() const
{
    std::unique_lock lock(d->mutex);
    return d->error;
}

QString ModemSimulator::DevicePath() const
{
    std::unique_lock lock(d->mutex);
    return d->device;
}

bool ModemSimulator::MakeLink(const QString &linkPath)
{
    std::unique_lock lock(d->mutex);
    if (!d->running) {
        d->error = QStringLiteral("not started");
        return false;
    }
    const QFileInfo fi(linkPath);
    if (fi.isSymLink()) {
        QFile::remove(linkPath);
    } else if (fi.exists()) {
        d->error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
        return false;
    }
    if (::symlink(QFile::encodeName(d->device).constData(), QFile::encodeName(linkPath).constData()) != 0) {
        d->error = QStringLiteral("cannot link %1: %2").arg(linkPath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    d->link = fi.absoluteFilePath();
    return true;
}

void ModemSimulator::SetEcho(bool on)
{
    std::unique_lock lock(d->mutex);
    d->echo = on;
}

bool ModemSimulator::Echo() const
{
    std::unique_lock lock(d->mutex);
    return d->echo;
}

void ModemSimulator::SetCapacity(int count)
{
    std::unique_lock lock(d->mutex);
    int highest = 0;
    for (const auto &slot : d->memory)
        if (slot)
            highest = slot->index;
    d->memory.resize(qMax(qMax(count, 1), highest));
}

int ModemSimulator::Capacity() const
{
    std::unique_lock lock(d->mutex);
    return int(d->memory.size());
}

void ModemSimulator::SetDirectDelivery(bool on)
{
    std::unique_lock lock(d->mutex);
    d->direct = on;
}

void ModemSimulator::SetPace(int bytesPerSecond)
{
    std::unique_lock lock(d->mutex);
    d->paceBps = qMax(bytesPerSecond, 0);
    d->paceCredit = 0;
    d->paceLast = Clock::now();
    d->Wake();
}

void ModemSimulator::SetLatency(int ms)
{
    std::unique_lock lock(d->mutex);
    d->latencyMs = qMax(ms, 0);
}

void ModemSimulator::SetCmsError(Fault when, int code)
{
    std::unique_lock lock(d->mutex);
    d->cms.Set(when);
    d->cmsCode = code;
}

void ModemSimulator::SetCmsErrorTo(const QStringList &numbers, int code)
{
    std::unique_lock lock(d->mutex);
    d->cmsTo.clear();
    for (const QString &n : numbers)
        d->cmsTo.append(Own(Digits(n.trimmed())));
    d->cmsToCode = code;
}

void ModemSimulator::SetSilentAfterPdu(Fault when)
{
    std::unique_lock lock(d->mutex);
    d->silent.Set(when);
}

void ModemSimulator::SetLateAnswer(Fault when, int delayMs)
{
    std::unique_lock lock(d->mutex);
    d->late.Set(when);
    d->lateMs = qMax(delayMs, 0);
}

void ModemSimulator::SetSplitPrompt(Fault when, int pauseMs)
{
    std::unique_lock lock(d->mutex);
    d->split.Set(when);
    d->splitPauseMs = qMax(pauseMs, 0);
}

void ModemSimulator::SetSwallowNotice(Fault when)
{
    std::unique_lock lock(d->mutex);
    d->swallow.Set(when);
}

void ModemSimulator::SetGarbage(Fault when, const QByteArray &bytes)
{
    std::unique_lock lock(d->mutex);
    d->garbage.Set(when);
    d->garbageBytes = Own(bytes);
}

void ModemSimulator::SetDropLine(Fault when)
{
    std::unique_lock lock(d->mutex);
    d->drop.Set(when);
}

void ModemSimulator::SetRefuseCommand(const QString &prefix, Fault when, int code)
{
    std::unique_lock lock(d->mutex);
    d->refusePrefix = prefix.trimmed().toUpper().toLatin1();
    d->refuse.Set(when);
    d->refuseCode = code;
}

void ModemSimulator::SetLoseAnswerTo(const QString &prefix, Fault when)
{
    std::unique_lock lock(d->mutex);
    d->losePrefix = prefix.trimmed().toUpper().toLatin1();
    d->lose.Set(when);
}

void ModemSimulator::SetAutoReply(const AutoReply &reply)
{
    std::unique_lock lock(d->mutex);
    d->autoReply = reply;
    d->autoReply.keyword = Own(reply.keyword);
    d->autoReply.text = Own(reply.text);
    d->autoReplySeen = 0;
}

ModemSimulator::Arrival ModemSimulator::InjectArrival(const DeliverSpec &spec)
{
    const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
    if (!built.ok) {
        Arrival a;
        a.error = built.error;
        return a;
    }
    return InjectPdus(built.parts);
}

ModemSimulator::Arrival ModemSimulator::InjectPdus(const QStringList &pdus)
{
    std::unique_lock lock(d->mutex);
    return d->Deliver(pdus, true);
}

ModemSimulator::Arrival ModemSimulator::StoreArrival(const DeliverSpec &spec)
{
    const DeliverBuilder::Result built = DeliverBuilder::Build(spec);
    if (!built.ok) {
        Arrival a;
        a.error = built.error;
        return a;
    }
    return StorePdus(built.parts);
}

ModemSimulator::Arrival ModemSimulator::StorePdus(const QStringList &pdus)
{
    std::unique_lock lock(d->mutex);
    return d->Deliver(pdus, false);
}

void ModemSimulator::SendUnsolicited(const QByteArray &bytes)
{
    std::unique_lock lock(d->mutex);
    d->Notice(bytes);
}

// What the log holds is copied whole under the lock: the modem's thread goes on appending
// to (and reallocating) its own lists while the caller reads the copy.
QVector<ModemSimulator::Submit> ModemSimulator::Submits() const
{
    std::unique_lock lock(d->mutex);
    QVector<Submit> out;
    out.reserve(d->submits.size());
    for (const Submit &s : d->submits) {
        Submit c = s;
        c.pdu = Own(s.pdu);
        c.error = Own(s.error);
        c.answer = Own(s.answer);
        c.message = Own(s.message);
        out.append(std::move(c));
    }
    return out;
}

int ModemSimulator::SubmitCount() const
{
    std::unique_lock lock(d->mutex);
    return int(d->submits.size());
}

QStringList ModemSimulator::Commands() const
{
    std::unique_lock lock(d->mutex);
    return Own(d->commands);
}

QVector<ModemSimulator::Stored> ModemSimulator::Storage() const
{
    std::unique_lock lock(d->mutex);
    QVector<Stored> held;
    for (const auto &slot : d->memory)
        if (slot)
            held.append(Stored{slot->index, slot->stat, Own(slot->pdu)});
    return held;
}

void ModemSimulator::ClearLog()
{
    std::unique_lock lock(d->mutex);
    d->submits.clear();
    d->commands.clear();
}

bool ModemSimulator::SetLogFile(const QString &path)
{
    std::unique_lock lock(d->mutex);
    d->logFile.close();
    if (path.isEmpty())
        return true;
    d->logFile.setFileName(path);
    if (!d->logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        d->error = QStringLiteral("cannot write %1: %2").arg(path, d->logFile.errorString());
        return false;
    }
    return true;
}
