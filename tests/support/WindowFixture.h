#pragma once

// What every test of the real window sets up: a temporary folder holding
// the "program" folder the window looks beside, a settings store of its own
// (never the user's), scripted dialogs, and the window.

#include "ErrorReport.h"
#include "MainWindow.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// The error report's whole text, as the user sees it.
inline QString reportText(const QString &description, const char *location, int step)
{
    return description + QStringLiteral("\r\n") + QLatin1String(location) + QStringLiteral("at line ")
        + QString::number(step) + QStringLiteral("\r\rPlease email screenshot of this message to ")
        + brinmoor::supportAddress();
}

class WindowFixture
{
protected:
    // From the test's init(); false when the temporary folder is missing.
    bool setUpFixture()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid() || !QDir(m_dir->path()).mkpath(QStringLiteral("program")))
            return false;
        m_settings = std::make_unique<brinmoor::SettingsStore>(m_dir->filePath(QStringLiteral("Brinmoor.conf")));
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_fileDialogs = std::make_unique<ScriptedFileListDialogs>();
        m_opened.clear();
        return true;
    }

    // From the test's cleanup(): the window goes before what it uses.
    void tearDownFixture()
    {
        m_window.reset();
        m_settings.reset();
        m_dir.reset();
    }

    // Every box and dialog scripted, two counting threads, a web-site draw
    // that never opens anything, URLs recorded in m_opened.
    brinmoor::app::WindowServices services()
    {
        brinmoor::app::WindowServices s;
        s.dialogs = m_dialogs.get();
        s.settings = m_settings.get();
        s.programFolder = m_dir->filePath(QStringLiteral("program"));
        s.drawVisit = [] { return 1; };
        s.openUrl = [this](const QUrl &url) { m_opened.append(url); };
        s.countJobs = 2;
        s.fileDialogs = m_fileDialogs.get();
        return s;
    }

    // A new window, started up.
    brinmoor::app::MainWindow &makeWindowWith(brinmoor::app::WindowServices s)
    {
        m_window.reset();
        m_window = std::make_unique<brinmoor::app::MainWindow>(std::move(s));
        m_window->startUp();
        return *m_window;
    }

    // A file under the temporary folder (or at an absolute path); its
    // native path.
    QString writeFile(const QString &name, const QByteArray &bytes = "x\n")
    {
        const QString path = QDir(m_dir->path()).filePath(name);
        touch(path, bytes);
        return QDir::toNativeSeparators(path);
    }

    QString program(const QString &name) const { return m_dir->filePath(QStringLiteral("program/") + name); }
    QString stored(const char *key) const
    {
        return m_settings->read(QLatin1String(key), QStringLiteral("<missing>"));
    }

    template <class T>
    T *child(const char *name) const
    {
        T *w = m_window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<brinmoor::SettingsStore> m_settings;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<ScriptedFileListDialogs> m_fileDialogs;
    std::unique_ptr<brinmoor::app::MainWindow> m_window;
    QList<QUrl> m_opened;
};
