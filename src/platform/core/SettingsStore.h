#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace brinmoor {

// The per-user settings: every value is text, read with a default that the
// reader passes and written at once. The file is the platform's native one
// for organisation "Kelmarsh" and application "Brinmoor" (on Linux
// $XDG_CONFIG_HOME/Kelmarsh/Brinmoor.conf), keys in the group "Brinmoor".
// GUI thread only.
class SettingsStore
{
public:
    SettingsStore();
    // A store kept in an explicit file (tools and tests).
    explicit SettingsStore(const QString &fileName);
    ~SettingsStore();

    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // What was wrong with the stored file when it was opened (damaged or
    // unreadable); empty when it was fine or missing. A damaged store (any
    // line that is no setting, any byte sequence that is not UTF-8) reads
    // as empty and is never written over: it is kept beside as
    // ".damaged", or ".damaged.N" when earlier copies are there.
    QString openProblem() const;

    QString read(const QString &key, const QString &fallback) const;
    // Empty when the value was stored. The first write that fails answers
    // why, saying that changes will not be kept, for the caller to tell the
    // user; later failures answer empty, since the user knows by then.
    QString write(const QString &key, const QString &value);

    // Rewrites one value from what is stored now: under a lock shared by
    // every copy of the program, reads the key afresh from the file (another
    // copy may have changed it since), and writes what change makes of it.
    // Answers as write() does.
    QString update(const QString &key, const std::function<QString(const QString &stored)> &change);

    QString fileName() const;

private:
    void checkOpened();
    void keepHandWrittenText();
    // The value of key exactly as the file holds it, for a hand-written one
    // that QSettings reads as a list; nothing when the line is not plain text.
    std::optional<QString> rawValue(const QString &key) const;

    std::unique_ptr<QSettings> m_settings;
    QString m_problem;
    // An unreadable store is never written; its values live for one session.
    bool m_readOnly = false;
    QHash<QString, QString> m_session;
    bool m_writeFailed = false;
};

namespace settings {
inline constexpr char Section[] = "Brinmoor";
inline constexpr char ExcludeBlank[] = "Exclude Blank";
inline constexpr char Option1[] = "Option1";
inline constexpr char Option2[] = "Option2";
inline constexpr char ExcludeWords[] = "Exclude Words";
inline constexpr char Extension[] = "Extension";
inline constexpr char LastFolder[] = "LastFolder";
inline constexpr char Snapshot[] = "Snapshot";
// The main window's normal client area ("x y width height") and whether it
// was maximised, as it was closed.
inline constexpr char WindowPlacement[] = "Window";
inline constexpr char WindowMaximized[] = "Window Maximized";
} // namespace settings

// A stored number: leading blanks skipped, then an optional sign and the
// digits that follow; a text that does not begin with a number reads as 0.
double numberFromText(const QString &text);

// A stored truth value: True or False in any letter case, or a number
// (0 is false, any other is true). Anything else has no truth value.
std::optional<bool> truthFromText(const QString &text);

// The forms the options are written in.
QString truthText(bool value);   // "True" / "False"

} // namespace brinmoor
