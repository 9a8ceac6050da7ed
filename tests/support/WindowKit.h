#pragma once
// What the window tests share: a ring player that only records, a look-up of named children,
// a hook on the next modal window, and the place a main window lives in (a fresh folder with
// setting.ini and the window profile, the application, a message box and a ring player).
#include "FakeMessageBox.h"
#include "app/CSkevoApp.h"
#include "app/IRingPlayer.h"

#include <QApplication>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>

class FakeRing : public IRingPlayer
{
public:
    void PlayRing(const QString &file) override { played.append(file); }
    void StopRing() override { ++stops; }
    QStringList played;
    int stops = 0;
};

template <typename T> T *Child(QWidget &w, const char *name)
{
    return w.findChild<T *>(QString::fromLatin1(name));
}

// Runs act on the next modal window once it is shown.
inline void OnNextModal(std::function<void(QWidget *)> act)
{
    QTimer::singleShot(10, [act] {
        if (QWidget *w = QApplication::activeModalWidget())
            act(w);
        else
            OnNextModal(act);
    });
}

struct FramePlace
{
    QTemporaryDir dir;
    CSkevoApp app {dir.filePath(QStringLiteral("setting.ini"))};
    FakeMessageBox messages;
    FakeRing ring;
    QSettings profile {dir.filePath(QStringLiteral("profile.ini")), QSettings::IniFormat};
};
