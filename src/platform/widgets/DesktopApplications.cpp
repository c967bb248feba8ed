#include "DesktopApplications.h"

#include <QFile>

#include <memory>

// GLib names struct members "signals", which Qt defines as a keyword; this
// file uses none of Qt's keywords.
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace brinmoor {

namespace {

struct Unref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template<typename T>
using Owned = std::unique_ptr<T, Unref>;

// GIO falls back to the applications of the types a type derives from: with
// no spreadsheet installed, the archive manager became the default for
// workbooks, which are zip files. One that names only such a parent type
// does not open the type as what it is.
bool opensOnlyAParentOf(GAppInfo *info, const char *type)
{
    bool parent = false;
    for (const char *const *named = g_app_info_get_supported_types(info); named && *named; ++named) {
        if (g_content_type_equals(*named, type))
            return false;
        parent = parent || g_content_type_is_a(type, *named);
    }
    return parent;
}

bool launch(GAppInfo *info, const QString &file)
{
    const Owned<GFile> target(g_file_new_for_path(QFile::encodeName(file).constData()));
    GList files{target.get(), nullptr, nullptr};
    GError *error = nullptr;
    const bool started = g_app_info_launch(info, &files, nullptr, &error);
    g_clear_error(&error);
    return started;
}

} // namespace

std::optional<DesktopApplication> defaultApplication(const QString &mimeType)
{
    // Content types are media types on this platform.
    const QByteArray type = mimeType.toUtf8();
    const Owned<GAppInfo> chosen(g_app_info_get_default_for_type(type.constData(), FALSE));
    if (!chosen || opensOnlyAParentOf(chosen.get(), type.constData()))
        return std::nullopt;
    return DesktopApplication{QString::fromUtf8(g_app_info_get_id(chosen.get())),
                              QString::fromUtf8(g_app_info_get_commandline(chosen.get()))};
}

bool launchApplication(const QString &desktopFileId, const QString &file)
{
    // Looked up again: the desktop file may have gone since.
    const Owned<GDesktopAppInfo> info(g_desktop_app_info_new(desktopFileId.toUtf8().constData()));
    return info && launch(G_APP_INFO(info.get()), file);
}

bool launchCommand(const QStringList &command, const QString &file)
{
    if (command.isEmpty())
        return false;
    // GIO starts programs through a helper of its own, which cannot report
    // a program that is not there; desktop files are checked so on loading.
    gchar *program = g_find_program_in_path(QFile::encodeName(command.first()).constData());
    const bool found = program != nullptr;
    g_free(program);
    if (!found)
        return false;
    // GIO takes a desktop file's command line: quoted as the shell would,
    // with "%" doubled so that no argument reads as a field code.
    QByteArray line;
    for (const QString &argument : command) {
        gchar *quoted = g_shell_quote(argument.toUtf8().constData());
        line += QByteArray(quoted).replace('%', "%%") + ' ';
        g_free(quoted);
    }
    line.chop(1);
    GError *error = nullptr;
    const Owned<GAppInfo> info(
        g_app_info_create_from_commandline(line.constData(), nullptr, G_APP_INFO_CREATE_NONE, &error));
    g_clear_error(&error);
    return info && launch(info.get(), file);
}

} // namespace brinmoor
