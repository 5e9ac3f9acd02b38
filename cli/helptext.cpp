#include "helptext.h"

namespace {

struct Entry
{
    const char *command;
    const char *text;
};

const Entry kEntries[] = {
    {"status",
     "Usage: ferry status [--json]\n"
     "Shows whether the Android runtime is running and its SDK level, release\n"
     "and security patch level.\n"},
    {"start",
     "Usage: ferry start\n"
     "Starts the Android runtime.\n"},
    {"stop",
     "Usage: ferry stop\n"
     "Stops the Android runtime.\n"},
    {"enable",
     "Usage: ferry enable\n"
     "Makes the Android runtime start at boot.\n"},
    {"disable",
     "Usage: ferry disable\n"
     "Stops the Android runtime from starting at boot.\n"},
    {"install",
     "Usage: ferry install [--preload | --partner-space] [--json] FILE...\n"
     "Installs each APK FILE. Relative names are taken from the current\n"
     "directory. The runtime is started when needed; the result of each install\n"
     "is shown to the user as a notification.\n"
     "  --preload        install as preloaded content (no notification)\n"
     "  --partner-space  install into the partner space\n"
     "Installing needs root or the group \"privileged\" or \"disk\" unless the\n"
     "device policy allows app installation.\n"},
    {"remove",
     "Usage: ferry remove PACKAGE | DESKTOPFILE\n"
     "Uninstalls an app, given by its package name (com.example.app) or by the\n"
     "path of one of its desktop entries (see ferry apps).\n"},
    {"launch",
     "Usage: ferry launch PACKAGE\n"
     "Starts the app's main activity.\n"},
    {"intent",
     "Usage: ferry intent [--action ACTION] [--data URI|PATH] [--type MIME]\n"
     "                    [--package PACKAGE [--class CLASS]] [--category CATEGORY]\n"
     "                    [--extra KEY=VALUE]...\n"
     "Sends an intent to start an activity. Without --action the action is\n"
     "android.intent.action.MAIN. A host path given as --data is translated into\n"
     "the runtime's view. Extras are strings unless typed:\n"
     "  --extra KEY=TEXT  --extra KEY:int=N  --extra KEY:long=N  --extra KEY:bool=true|false\n"},
    {"size",
     "Usage: ferry size [--json] PACKAGE\n"
     "Shows the sizes of the app's code, data and cache.\n"},
    {"data-usage",
     "Usage: ferry data-usage [--json]\n"
     "Shows how much storage the Android runtime's data uses.\n"},
    {"clear-cache",
     "Usage: ferry clear-cache PACKAGE\n"
     "Deletes the app's cache files.\n"},
    {"clear-data",
     "Usage: ferry clear-data PACKAGE\n"
     "Deletes all of the app's data (the app is reset).\n"},
    {"force-stop",
     "Usage: ferry force-stop PACKAGE\n"
     "Stops the app and all its processes.\n"},
    {"autostart",
     "Usage: ferry autostart [--json] PACKAGE [on|off]\n"
     "Without on or off, shows whether the app may start at boot; with it,\n"
     "allows or forbids that.\n"},
    {"apps",
     "Usage: ferry apps [--json]\n"
     "Lists the installed Android apps that have a launcher entry: package,\n"
     "label and desktop file.\n"},
};

} // namespace

namespace HelpText {

QString overview()
{
    return QStringLiteral(
        "Usage: ferry [--json] COMMAND [ARGUMENTS]\n"
        "Controls the Android runtime and its apps through the ferryd daemon.\n"
        "\n"
        "Runtime:\n"
        "  status                       runtime state, SDK level, release, patch level\n"
        "  start | stop                 start or stop the runtime\n"
        "  enable | disable             start the runtime at boot, or not\n"
        "  data-usage                   storage used by the runtime's data\n"
        "Apps:\n"
        "  apps                         installed apps: package, label, desktop file\n"
        "  install FILE...              install APK files\n"
        "  remove PACKAGE|DESKTOPFILE   uninstall an app\n"
        "  launch PACKAGE               start an app\n"
        "  intent --action ... [--data ...] [--extra KEY=VALUE]...\n"
        "                               send an intent\n"
        "  size PACKAGE                 code, data and cache size of an app\n"
        "  clear-cache PACKAGE          delete an app's cache\n"
        "  clear-data PACKAGE           delete an app's data\n"
        "  force-stop PACKAGE           stop an app\n"
        "  autostart PACKAGE [on|off]   show or set whether an app starts at boot\n"
        "\n"
        "Options:\n"
        "  --json      print results as JSON (one object) for scripts\n"
        "  --help, -h  this text; \"ferry COMMAND --help\" or \"ferry help COMMAND\"\n"
        "              explains one command\n"
        "  --version   the version of ferry\n"
        "\n"
        "Exit status is 0 on success and 1 on any failure, with one line on\n"
        "standard error saying why. The daemon answers refused or failed requests\n"
        "without a reason; its log (journalctl -u ferryd) has the details.\n");
}

QString forCommand(const QString &command)
{
    for (const Entry &e : kEntries) {
        if (command == QLatin1String(e.command))
            return QString::fromLatin1(e.text);
    }
    return QString();
}

} // namespace HelpText
