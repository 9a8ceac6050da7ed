#pragma once
// Hands the parts of one message to the modem (3GPP TS 27.005 3.5.1: AT+CMGS=<length>, the
// "> " prompt, the PDU and Ctrl-Z) and says what became of them in the modem's own terms:
// sent with their message references, refused with the modem's code, or not handed over.
// A refusal for want of network or of a ready SIM is told apart from a refused message,
// since that message never reached the network and may go again.
#include "at/AtChannel.h"
#include "ModemConfig.h"

#include <QStringList>
#include <QVector>
#include <functional>

class SubmitDialogue
{
public:
    enum class Outcome {
        Sent,           // every part answered "+CMGS: <mr>"
        NotHandedOver,  // stopped, or the link lost, before the next part's PDU went out
        Held,           // beforePdu said no: nothing of it went out
        NetworkMissing, // refused for want of network (+CMS 330-332, +CME 30-32)
        SimNotReady,    // refused for the SIM (+CMS 310-318, +CME 10-15)
        Refused,        // any other refusal, or no prompt however often asked: failed
        NoAnswer,       // a PDU went out and no answer came: the outcome is unknown, failed
    };
    struct Result
    {
        Outcome outcome = Outcome::Sent;
        int partsSent = 0;       // parts the network took, counted from the first
        QVector<int> references; // "+CMGS: <mr>" of each part taken in this call, -1 when none came
        AtChannel::Answer answer; // what the modem said when it did not take a part
    };

    SubmitDialogue(AtChannel &channel, const ModemTimeouts &timeouts);

    // parts: the SMS-SUBMIT PDUs (hex) of one message; from: the first part not yet sent (those
    // before went out earlier through this modem). beforePdu is called before the first PDU of
    // this call goes out; when it returns false nothing is handed over (Held).
    Result Send(const QStringList &parts, int from, const std::function<bool()> &beforePdu = {});

    static bool NetworkMissing(const AtChannel::Answer &answer);
    static bool SimNotReady(const AtChannel::Answer &answer);

private:
    // AT+CMGS until the prompt comes: Ok, an error result, Stopped, LinkDown, or Timeout when
    // none came however often asked.
    AtChannel::Answer AwaitPrompt(int tpduLength);

    AtChannel &m_channel;
    const ModemTimeouts &m_timeouts;
};
