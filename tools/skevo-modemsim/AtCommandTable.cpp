#include "AtCommandTable.h"

#include "LineFramer.h"
#include "MessageStore.h"
#include "RadioState.h"

#include <cctype>

namespace {

// V.250 5.7.2 verbose result codes and information text, with S3 = CR and S4 = LF.
QByteArray Final(const char *code) { return QByteArray("\r\n") + code + "\r\n"; }
QByteArray Info(const QByteArray &text) { return "\r\n" + text + "\r\n"; }
// TS 27.005 3.2.5: the final result code of a failed message service command.
QByteArray CmsError(int code) { return "\r\n+CMS ERROR: " + QByteArray::number(code) + "\r\n"; }
// TS 27.007 9.2: the final result code of a failed equipment command.
QByteArray CmeError(int code) { return "\r\n+CME ERROR: " + QByteArray::number(code) + "\r\n"; }

} // namespace

AtCommandTable::AtCommandTable(Context context) : m_context(std::move(context))
{
    m_basic = {
        {"E", &AtCommandTable::Echo},   {"V", &AtCommandTable::AcceptV1}, {"Q", &AtCommandTable::AcceptQ0},
        {"&D", &AtCommandTable::Accept}, {"&C", &AtCommandTable::Accept},  {"Z", &AtCommandTable::Reset},
        {"&F", &AtCommandTable::Reset},  {"I", &AtCommandTable::Identify},
    };
    m_extended = {
        {"CMGF", &AtCommandTable::Cmgf}, {"CMGS", &AtCommandTable::Cmgs}, {"CMGR", &AtCommandTable::Cmgr},
        {"CMGD", &AtCommandTable::Cmgd}, {"CMGL", &AtCommandTable::Cmgl}, {"CPMS", &AtCommandTable::Cpms},
        {"CNMI", &AtCommandTable::Cnmi}, {"CSCA", &AtCommandTable::Csca}, {"CSQ", &AtCommandTable::Csq},
        {"CGMI", &AtCommandTable::Cgmi}, {"CGMM", &AtCommandTable::Cgmm}, {"CMEE", &AtCommandTable::Accept},
        {"CPIN", &AtCommandTable::Cpin}, {"CREG", &AtCommandTable::Creg}, {"COPS", &AtCommandTable::Cops},
        {"CSCS", &AtCommandTable::Accept}, {"CSMS", &AtCommandTable::Accept}, {"CNMA", &AtCommandTable::Accept},
        {"CIMI", &AtCommandTable::Cimi}, {"CCID", &AtCommandTable::Ccid},
    };
}

std::optional<QByteArray> AtCommandTable::Execute(const QByteArray &body)
{
    Reply reply;
    qsizetype pos = 0;
    while (pos < body.size()) {
        const char c = char(toupper(body[pos]));
        if (c == ' ' || c == ';') {
            ++pos;
            continue;
        }
        Outcome r = Outcome::Error;
        if (c == '+') {
            qsizetype end = body.indexOf(';', pos);
            if (end < 0)
                end = body.size();
            r = Extended(body.mid(pos + 1, end - pos - 1), reply);
            pos = end;
        } else {
            QByteArray name(1, c);
            ++pos;
            if (c == '&' && pos < body.size())
                name.append(char(toupper(body[pos++])));
            Request request;
            while (pos < body.size() && isdigit(uchar(body[pos])))
                request.value = request.value * 10 + (body[pos++] - '0');
            const auto it = m_basic.find(name);
            if (it != m_basic.end())
                r = (this->*(it->second))(request, reply);
        }
        if (r == Outcome::Prompt)
            return std::nullopt;
        if (r == Outcome::Error)
            return reply.info + (reply.final.isEmpty() ? Final("ERROR") : reply.final);
    }
    return reply.info + Final("OK");
}

AtCommandTable::Outcome AtCommandTable::Extended(const QByteArray &text, Reply &reply)
{
    qsizetype cut = 0;
    while (cut < text.size() && text[cut] != '=' && text[cut] != '?')
        ++cut;
    const auto it = m_extended.find(text.left(cut).toUpper().trimmed());
    if (it == m_extended.end())
        return Outcome::Error;
    const QByteArray rest = text.mid(cut);
    Request r;
    r.read = rest == "?";
    r.test = rest == "=?";
    r.set = rest.startsWith('=') && !r.test;
    r.args = r.set ? rest.mid(1).trimmed() : QByteArray();
    r.n = r.args.split(',').value(0).trimmed().toInt(&r.isInt);
    return (this->*(it->second))(r, reply);
}

AtCommandTable::Outcome AtCommandTable::Echo(const Request &r, Reply &)
{
    if (r.value > 1)
        return Outcome::Error;
    m_context.framer.echo = r.value == 1;
    return Outcome::Ok;
}

AtCommandTable::Outcome AtCommandTable::Accept(const Request &, Reply &)
{
    return Outcome::Ok;
}

AtCommandTable::Outcome AtCommandTable::AcceptV1(const Request &r, Reply &)
{
    return r.value == 1 ? Outcome::Ok : Outcome::Error;
}

AtCommandTable::Outcome AtCommandTable::AcceptQ0(const Request &r, Reply &)
{
    return r.value == 0 ? Outcome::Ok : Outcome::Error;
}

AtCommandTable::Outcome AtCommandTable::Reset(const Request &, Reply &)
{
    m_context.framer.echo = true;
    return Outcome::Ok;
}

AtCommandTable::Outcome AtCommandTable::Identify(const Request &, Reply &reply)
{
    reply.info += Info("Skevo simulated GSM modem");
    return Outcome::Ok;
}

// TS 27.005 3.2.3: PDU mode only.
AtCommandTable::Outcome AtCommandTable::Cmgf(const Request &r, Reply &reply)
{
    if (r.read)
        reply.info += Info("+CMGF: 0");
    else if (r.test)
        reply.info += Info("+CMGF: (0)");
    else if (!(r.set && r.isInt && r.n == 0))
        return Outcome::Error;
    return Outcome::Ok;
}

bool AtCommandTable::SimLocked(Reply &reply)
{
    switch (m_context.radio.SimState()) {
    case RadioState::Sim::Ready:
        return false;
    case RadioState::Sim::PinNeeded:
        reply.final = CmsError(311);
        break;
    case RadioState::Sim::PukNeeded:
        reply.final = CmsError(316);
        break;
    case RadioState::Sim::Absent:
        reply.final = CmsError(310);
        break;
    }
    return true;
}

// TS 27.005 3.5.1
AtCommandTable::Outcome AtCommandTable::Cmgs(const Request &r, Reply &reply)
{
    if (!r.set || !r.isInt || r.n < 1 || r.n > 255)
        return Outcome::Error;
    if (SimLocked(reply))
        return Outcome::Error;
    m_context.prompt(r.n);
    return Outcome::Prompt;
}

// TS 27.005 3.4.3
AtCommandTable::Outcome AtCommandTable::Cmgr(const Request &r, Reply &reply)
{
    if (!r.set || SimLocked(reply))
        return Outcome::Error;
    MessageStore::Message *m = r.isInt ? m_context.storages.Selected().At(r.n) : nullptr;
    if (!m) {
        reply.final = CmsError(321);
        return Outcome::Error;
    }
    reply.info += "\r\n+CMGR: " + QByteArray::number(m->stat) + ",," + QByteArray::number(Pdu::TpduLength(m->pdu))
                  + "\r\n" + m->pdu.toLatin1() + "\r\n";
    m->stat = 1; // received read from now on
    return Outcome::Ok;
}

// TS 27.005 3.5.4
AtCommandTable::Outcome AtCommandTable::Cmgd(const Request &r, Reply &reply)
{
    if (!r.set || SimLocked(reply))
        return Outcome::Error;
    MessageStore &store = m_context.storages.Selected();
    const QList<QByteArray> parts = r.args.split(',');
    const int flag = parts.size() > 1 ? parts[1].trimmed().toInt() : 0;
    if (flag > 0) {
        store.DeleteMany(flag);
        return Outcome::Ok;
    }
    if (!r.isInt || !store.Delete(r.n)) {
        reply.final = CmsError(321);
        return Outcome::Error;
    }
    return Outcome::Ok;
}

// TS 27.005 3.4.2
AtCommandTable::Outcome AtCommandTable::Cmgl(const Request &r, Reply &reply)
{
    if (r.test) {
        reply.info += Info("+CMGL: (0-4)");
        return Outcome::Ok;
    }
    const int stat = r.set ? r.n : 0;
    if ((r.set && !r.isInt) || stat < 0 || stat > 4 || SimLocked(reply))
        return Outcome::Error;
    QByteArray list;
    for (const MessageStore::Message &m : m_context.storages.Selected().List(stat))
        list += "+CMGL: " + QByteArray::number(m.index) + ',' + QByteArray::number(m.stat) + ",,"
                + QByteArray::number(Pdu::TpduLength(m.pdu)) + "\r\n" + m.pdu.toLatin1() + "\r\n";
    if (!list.isEmpty())
        reply.info += "\r\n" + list;
    return Outcome::Ok;
}

// TS 27.005 3.2.2: "SM", and "ME" with a phone storage. Only <mem1> is set here; writing and
// receiving stay with the memory arrivals go to.
AtCommandTable::Outcome AtCommandTable::Cpms(const Request &r, Reply &reply)
{
    Storages &st = m_context.storages;
    const QByteArray memories = st.phone ? "(\"SM\",\"ME\")" : "(\"SM\")";
    if (r.test) {
        reply.info += Info("+CPMS: " + memories + ',' + memories + ',' + memories);
        return Outcome::Ok;
    }
    if (SimLocked(reply))
        return Outcome::Error;
    const auto counts = [&st](const QByteArray &name) {
        MessageStore *m = st.Find(name);
        return QByteArray::number(m->Used()) + ',' + QByteArray::number(m->Capacity());
    };
    if (r.read) {
        reply.info += Info("+CPMS: \"" + st.selected + "\"," + counts(st.selected) + ",\"" + st.arrivals + "\","
                           + counts(st.arrivals) + ",\"" + st.arrivals + "\"," + counts(st.arrivals));
        return Outcome::Ok;
    }
    if (!r.set)
        return Outcome::Error;
    const QByteArray mem1 = r.args.split(',').value(0).trimmed().toUpper().replace('"', "");
    if (!st.Find(mem1)) {
        reply.final = CmsError(302); // operation not allowed
        return Outcome::Error;
    }
    st.selected = mem1;
    reply.info += Info("+CPMS: " + counts(mem1) + ',' + counts(st.arrivals) + ',' + counts(st.arrivals));
    return Outcome::Ok;
}

// TS 27.005 3.4.1: <mt> as set; a modem that only hands arrivals over refuses 1.
AtCommandTable::Outcome AtCommandTable::Cnmi(const Request &r, Reply &reply)
{
    Indications &ind = m_context.indications;
    if (r.read) {
        reply.info += Info("+CNMI: 2," + QByteArray::number(ind.mt) + ",0," + QByteArray::number(ind.ds) + ",0");
    } else if (r.test) {
        const QByteArray ds = ind.reportsDirectOnly ? "(0,1)" : "(0-2)";
        reply.info += Info((ind.directOnly ? "+CNMI: (0-2),(0,2),(0)," : "+CNMI: (0-2),(0-2),(0),") + ds + ",(0,1)");
    } else if (r.set) {
        bool ok = false;
        const QList<QByteArray> args = r.args.split(',');
        const int mt = args.value(1).trimmed().toInt(&ok);
        bool dsOk = true;
        const int ds = args.size() > 3 ? args.value(3).trimmed().toInt(&dsOk) : 0;
        if (!ok || mt < 0 || mt > 2 || (mt == 1 && ind.directOnly) || !dsOk || ds < 0 || ds > 2
            || (ds == 2 && ind.reportsDirectOnly)) {
            reply.final = CmsError(303); // operation not supported
            return Outcome::Error;
        }
        ind.ds = ds;
        ind.mt = mt;
    }
    return Outcome::Ok;
}

// TS 27.007 8.3
AtCommandTable::Outcome AtCommandTable::Cpin(const Request &r, Reply &reply)
{
    RadioState &radio = m_context.radio;
    if (r.test)
        return Outcome::Ok;
    if (radio.SimState() == RadioState::Sim::Absent) {
        reply.final = CmeError(10);
        return Outcome::Error;
    }
    if (r.read) {
        switch (radio.SimState()) {
        case RadioState::Sim::Ready:
            reply.info += Info("+CPIN: READY");
            break;
        case RadioState::Sim::PinNeeded:
            reply.info += Info("+CPIN: SIM PIN");
            break;
        case RadioState::Sim::PukNeeded:
        case RadioState::Sim::Absent:
            reply.info += Info("+CPIN: SIM PUK");
            break;
        }
        return Outcome::Ok;
    }
    if (!r.set)
        return Outcome::Error;
    if (radio.SimState() == RadioState::Sim::Ready) {
        reply.final = CmeError(3); // operation not allowed: no PIN is asked for
        return Outcome::Error;
    }
    const QByteArray pin = r.args.split(',').value(0).trimmed().replace('"', "");
    const bool right = radio.EnterPin(QString::fromLatin1(pin));
    m_context.radioChanged();
    if (!right) {
        reply.final = CmeError(radio.SimState() == RadioState::Sim::PukNeeded ? 12 : 16);
        return Outcome::Error;
    }
    return Outcome::Ok;
}

// TS 27.007 7.1: the IMSI, once the SIM is unlocked.
AtCommandTable::Outcome AtCommandTable::Cimi(const Request &r, Reply &reply)
{
    const RadioState &radio = m_context.radio;
    if (r.test)
        return Outcome::Ok;
    if (radio.SimState() != RadioState::Sim::Ready || radio.imsi.isEmpty()) {
        reply.final = CmeError(radio.SimState() == RadioState::Sim::Absent ? 10 : 11);
        return Outcome::Error;
    }
    reply.info += Info(radio.imsi.toLatin1());
    return Outcome::Ok;
}

// The card's ICCID, as many modems give it to AT+CCID (no standard command has it).
AtCommandTable::Outcome AtCommandTable::Ccid(const Request &r, Reply &reply)
{
    const RadioState &radio = m_context.radio;
    if (r.test)
        return Outcome::Ok;
    if (radio.iccid.isEmpty() || radio.SimState() == RadioState::Sim::Absent)
        return Outcome::Error;
    reply.info += Info("+CCID: " + radio.iccid.toLatin1());
    return Outcome::Ok;
}

// TS 27.007 7.2
AtCommandTable::Outcome AtCommandTable::Creg(const Request &r, Reply &reply)
{
    RadioState &radio = m_context.radio;
    if (r.test) {
        reply.info += Info("+CREG: (0-1)");
    } else if (r.read) {
        reply.info += Info("+CREG: " + QByteArray::number(radio.cregMode) + ','
                           + QByteArray::number(radio.RegistrationStat()));
    } else if (r.set && r.isInt && (r.n == 0 || r.n == 1)) {
        radio.cregMode = r.n;
        radio.announced = radio.RegistrationStat();
    } else {
        return Outcome::Error;
    }
    return Outcome::Ok;
}

// TS 27.007 7.3: automatic selection; the name only while registered.
AtCommandTable::Outcome AtCommandTable::Cops(const Request &r, Reply &reply)
{
    if (r.read) {
        if (m_context.radio.Registered())
            reply.info += Info("+COPS: 0,0,\"CHINA MOBILE\",0");
        else
            reply.info += Info("+COPS: 0");
    }
    return Outcome::Ok;
}

AtCommandTable::Outcome AtCommandTable::Csca(const Request &r, Reply &reply)
{
    if (r.read)
        reply.info += Info("+CSCA: \"+8613800100500\",145");
    return Outcome::Ok;
}

AtCommandTable::Outcome AtCommandTable::Csq(const Request &, Reply &reply)
{
    reply.info += Info("+CSQ: 20,99");
    return Outcome::Ok;
}

AtCommandTable::Outcome AtCommandTable::Cgmi(const Request &, Reply &reply)
{
    reply.info += Info("Skevo");
    return Outcome::Ok;
}

AtCommandTable::Outcome AtCommandTable::Cgmm(const Request &, Reply &reply)
{
    reply.info += Info("modemsim");
    return Outcome::Ok;
}
