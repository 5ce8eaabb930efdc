#pragma once

#include "scriptedcore.h"

#include <memory>
#include <vector>

// Closes the active modal dialog soon (or clicks its button named `button`).
void answerModalSoon(const QString &button = QString(), int delayMs = 50);

class TMainForm;

// A private home for one test: HOME, XDG_CONFIG_HOME and TMPDIR point into a new folder.
class FreshHome
{
public:
    FreshHome();
    ~FreshHome();
    QString path() const;
    QString dtaDir() const { return path() + QStringLiteral("/Documents/Corvid/Skylark/"); }

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A main window as the program makes it, shown and through its first activation.
std::unique_ptr<TMainForm> makeMainForm();

// Everything a widget test replaces: a private home, scripted echoes and lookups, and an
// error recorder. Members are destroyed in reverse order, the home last.
struct ScriptedWorld
{
    FreshHome home;
    ScriptedEchoLauncher echoes;
    ScriptedResolver resolver;
    ErrorRecorder errors;
};
