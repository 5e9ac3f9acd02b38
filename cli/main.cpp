// ferry: command-line client of ferryd for integrators and testers.
#include "commandline.h"
#include "commandrunner.h"
#include "daemonclient.h"
#include "helptext.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    args.removeFirst();

    CommandLine line;
    QString error;
    if (!CommandLine::parse(args, &line, &error)) {
        err << "ferry: " << error << '\n';
        return 1;
    }
    if (line.version) {
        out << "ferry " << FERRY_VERSION << '\n';
        return 0;
    }
    if (line.help) {
        out << (line.command.isEmpty() ? HelpText::overview() : HelpText::forCommand(line.command));
        return 0;
    }
    DaemonClient client;
    return CommandRunner(client, out, err).run(line);
}
