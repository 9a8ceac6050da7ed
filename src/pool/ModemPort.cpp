#include "ModemPort.h"
#include "at/AtChannel.h"
#include "modem/ModemSetup.h"
#include "modem/WorkerState.h"

#include <QDebug>
#include <QRandomGenerator>
#include <atomic>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>

struct ModemPort::Private
{
    explicit Private(std::unique_ptr<IModemDesk> d)
        : desk(std::move(d))
    {
    }

    void Wake() const
    {
        const quint64 one = 1;
        if (wakeFd >= 0 && ::write(wakeFd, &one, sizeof one) < 0)
            qWarning() << "cannot wake the modem worker";
    }

    std::unique_ptr<IModemDesk> desk;
    CSerialPort serial;
    SerialLine line;
    std::atomic<bool> handshaken{false}; // the modem answered since the port was opened
    ModemConfig config;

    // Used by the worker while it runs, by the calling thread otherwise.
    WorkerState state;
    // The status as last told, and a PIN given while connected, for the worker to take.
    mutable std::mutex statusMutex;
    ModemStatus status;
    std::optional<std::pair<QString, bool>> newPin;
    std::thread worker;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    int wakeFd = -1;
};

ModemPort::ModemPort(std::unique_ptr<IModemDesk> desk, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(desk)))
{
    d->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d->wakeFd < 0)
        qWarning() << "eventfd failed: the worker will notice new messages only at its next wake-up";
    d->state.concatRef = quint8(QRandomGenerator::global()->bounded(256));
}

ModemPort::~ModemPort()
{
    StopThread();
    if (d->wakeFd >= 0)
        ::close(d->wakeFd);
}

CSerialPort &ModemPort::Serial()
{
    return d->serial;
}

const CSerialPort &ModemPort::Serial() const
{
    return d->serial;
}

bool ModemPort::Open(const QString &name, quint32 baudRate, quint8 byteSize, quint8 parity, quint8 stopBits)
{
    if (d->worker.joinable())
        return false;
    d->handshaken = false;
    if (!d->serial.Open(name, baudRate, byteSize, parity, stopBits))
        return false;
    d->line = SerialLine{name, baudRate, byteSize, parity, stopBits};
    return true;
}

void ModemPort::Close()
{
    d->handshaken = false;
    if (d->serial.IsOpen())
        d->serial.Close();
}

bool ModemPort::IsOpen() const
{
    return d->serial.IsOpen();
}

QString ModemPort::Name() const
{
    return d->line.name;
}

bool ModemPort::InitModem()
{
    if (!d->serial.IsOpen() || d->worker.joinable())
        return false;
    AtChannel channel(d->serial);
    channel.SetAnswerAllowance(d->config.timeouts.answerMsPerByte);
    channel.SetEscapePause(d->config.timeouts.escapePauseMs);
    ModemConfig config = d->config;
    ModemStatus status;
    d->handshaken = ModemSetup(channel, config, status).Handshake();
    d->state.notices += channel.TakeNotices();
    return d->handshaken;
}

bool ModemPort::StartThread()
{
    if (!d->serial.IsOpen())
        return false;
    return Run(d->line, d->handshaken);
}

bool ModemPort::Start(const SerialLine &line)
{
    if (d->worker.joinable())
        return false;
    // A port the worker opened before is opened again as it was, however it is named now.
    if (d->serial.IsOpen() && d->line.name != line.name)
        Close();
    return Run(line, d->serial.IsOpen() && d->handshaken);
}

bool ModemPort::Run(const SerialLine &line, bool answering)
{
    if (d->worker.joinable())
        return false;
    d->line = line;
    d->stop = false;
    quint64 value = 0;
    while (d->wakeFd >= 0 && ::read(d->wakeFd, &value, sizeof value) == ssize_t(sizeof value)) {
    }
    {
        std::lock_guard lock(d->statusMutex);
        d->newPin.reset();
    }
    d->state.status = ModemStatus();
    d->state.status.port = line.name;
    ModemWorker::Hooks hooks;
    hooks.status = [this](const ModemStatus &status) {
        {
            std::lock_guard lock(d->statusMutex);
            d->status = status;
        }
        emit statusChanged(status);
    };
    hooks.takePin = [this] {
        std::lock_guard lock(d->statusMutex);
        return std::exchange(d->newPin, std::nullopt);
    };
    hooks.attempted = [this](const ConnectAttempt &attempt) {
        if (attempt.Ok())
            d->handshaken = true;
        emit attempted(attempt);
    };
    ModemWorker::Line workerLine{d->wakeFd, line, answering};
    d->desk->Attach([this] { d->Wake(); });
    d->running = true;
    d->worker = std::thread([this, hooks = std::move(hooks), config = d->config, workerLine = std::move(workerLine)] {
        ModemWorker worker(d->serial, *d->desk, d->state, config, workerLine, d->stop, hooks);
        worker.Run();
        d->running = false;
    });
    if (answering)
        emit attempted(ConnectAttempt{});
    return true;
}

void ModemPort::RequestStop()
{
    if (!d->worker.joinable())
        return;
    d->stop = true;
    d->Wake();
}

void ModemPort::StopThread()
{
    if (!d->worker.joinable())
        return;
    RequestStop();
    d->worker.join();
    d->desk->Detach();
    d->running = false;
    ModemStatus down;
    down.port = d->line.name;
    {
        std::lock_guard lock(d->statusMutex);
        d->status = down;
    }
    emit statusChanged(down);
}

bool ModemPort::IsRunning() const
{
    return d->running.load();
}

void ModemPort::SetConfig(const ModemConfig &config)
{
    d->config = config;
}

ModemConfig ModemPort::Config() const
{
    return d->config;
}

void ModemPort::SetTimeouts(const ModemTimeouts &timeouts)
{
    d->config.timeouts = timeouts;
}

ModemTimeouts ModemPort::Timeouts() const
{
    return d->config.timeouts;
}

void ModemPort::SetRules(const SimRules &rules)
{
    d->desk->SetRules(rules);
    d->Wake(); // a limit raised or a pause shortened: the worker looks again at once
}

void ModemPort::SetPin(const QString &pin, bool refused)
{
    d->config.pin = pin;
    d->config.pinRefused = refused;
    if (!d->worker.joinable()) {
        // The operator's word: a PIN given again may be tried again.
        if (!refused)
            d->state.refusedPin.clear();
        return;
    }
    {
        std::lock_guard lock(d->statusMutex);
        d->newPin = std::make_pair(pin, refused);
    }
    d->Wake();
}

ModemStatus ModemPort::Status() const
{
    std::lock_guard lock(d->statusMutex);
    ModemStatus s = d->status;
    s.port = d->line.name;
    return s;
}
