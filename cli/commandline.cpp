#include "commandline.h"

#include "packagename.h"

namespace {

// Longest package name we pass on; Android's own limit is far below this.
const int kMaxPackageName = 255;
// Bounds on what a single call can carry.
const int kMaxOperands = 256;
const int kMaxExtras = 64;
const int kMaxTextLength = 4096;

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

struct Arity
{
    const char *name;
    int min;
    int max;  // -1: unbounded (up to kMaxOperands)
};

const Arity kCommands[] = {
    {"status", 0, 0},      {"start", 0, 0},      {"stop", 0, 0},        {"enable", 0, 0},
    {"disable", 0, 0},     {"install", 1, -1},   {"remove", 1, 1},      {"launch", 1, 1},
    {"intent", 0, 0},      {"size", 1, 1},       {"data-usage", 0, 0},  {"clear-cache", 1, 1},
    {"clear-data", 1, 1},  {"force-stop", 1, 1}, {"autostart", 1, 2},   {"apps", 0, 0},
};

const Arity *findCommand(const QString &name)
{
    for (const Arity &a : kCommands) {
        if (name == QLatin1String(a.name))
            return &a;
    }
    return nullptr;
}

bool takesPackage(const QString &command)
{
    static const QStringList names{"launch", "size", "clear-cache", "clear-data", "force-stop", "autostart"};
    return names.contains(command);
}

} // namespace

QStringList CommandLine::commands()
{
    QStringList names;
    for (const Arity &a : kCommands)
        names << QLatin1String(a.name);
    return names;
}

bool CommandLine::isValidPackageName(const QString &name)
{
    return !name.isEmpty() && name.size() <= kMaxPackageName && PackageName::isValid(name);
}

bool CommandLine::parseExtra(const QString &text, QString *key, QVariant *value)
{
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    QString name = text.left(eq);
    const QString raw = text.mid(eq + 1);
    QString kind = QStringLiteral("string");
    const int colon = name.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        kind = name.mid(colon + 1);
        name = name.left(colon);
    }
    if (name.isEmpty() || hasControlCharacter(name) || hasControlCharacter(raw))
        return false;
    bool ok = true;
    if (kind == QLatin1String("string")) {
        *value = raw;
    } else if (kind == QLatin1String("int")) {
        *value = raw.toInt(&ok);
    } else if (kind == QLatin1String("long")) {
        *value = raw.toLongLong(&ok);
    } else if (kind == QLatin1String("bool")) {
        ok = raw == QLatin1String("true") || raw == QLatin1String("false");
        *value = raw == QLatin1String("true");
    } else {
        return false;
    }
    *key = name;
    return ok;
}

bool CommandLine::parse(const QStringList &args, CommandLine *out, QString *error)
{
    *out = CommandLine();
    QStringList rest;
    bool optionsEnded = false;
    // Options that take a value, for `intent`.
    const QList<QPair<QString, QString *>> valued{
        {"--action", &out->action}, {"--data", &out->data},         {"--type", &out->type},
        {"--package", &out->package}, {"--class", &out->className}, {"--category", &out->category}};
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            rest << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = a;
        QString inlineValue;
        bool hasInline = false;
        const int eq = a.indexOf(QLatin1Char('='));
        if (a.startsWith(QLatin1String("--")) && eq > 0) {
            name = a.left(eq);
            inlineValue = a.mid(eq + 1);
            hasInline = true;
        }
        auto takeValue = [&](QString *target) {
            if (hasInline) {
                *target = inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            *target = args.at(++i);
            return true;
        };
        if (name == QLatin1String("--json") && !hasInline) {
            out->json = true;
        } else if ((name == QLatin1String("--help") || name == QLatin1String("-h")) && !hasInline) {
            out->help = true;
        } else if (name == QLatin1String("--version") && !hasInline) {
            out->version = true;
        } else if (name == QLatin1String("--preload") && !hasInline) {
            out->source = 1;
        } else if (name == QLatin1String("--partner-space") && !hasInline) {
            out->source = 2;
        } else if (name == QLatin1String("--extra")) {
            QString text;
            if (!takeValue(&text)) {
                *error = QStringLiteral("--extra needs a value KEY=VALUE");
                return false;
            }
            QString key;
            QVariant value;
            if (!parseExtra(text, &key, &value)) {
                *error = QStringLiteral("invalid extra \"%1\" (KEY=VALUE, KEY:int=N, KEY:long=N or KEY:bool=true|false)")
                             .arg(text);
                return false;
            }
            if (out->extras.size() >= kMaxExtras && !out->extras.contains(key)) {
                *error = QStringLiteral("too many extras (at most %1)").arg(kMaxExtras);
                return false;
            }
            out->extras.insert(key, value);
        } else {
            QString *target = nullptr;
            for (const auto &v : valued) {
                if (v.first == name)
                    target = v.second;
            }
            if (!target) {
                *error = QStringLiteral("unknown option %1").arg(name);
                return false;
            }
            if (!takeValue(target)) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            if (target->size() > kMaxTextLength || hasControlCharacter(*target)) {
                *error = QStringLiteral("invalid value for %1").arg(name);
                return false;
            }
        }
    }

    if (rest.isEmpty()) {
        if (out->help || out->version)
            return true;
        *error = QStringLiteral("no command given (see ferry --help)");
        return false;
    }
    out->command = rest.takeFirst();
    if (out->command == QLatin1String("help")) {
        // "ferry help [COMMAND]" is "ferry [COMMAND] --help".
        out->help = true;
        out->command = rest.value(0);
        rest.clear();
    }
    const Arity *arity = findCommand(out->command);
    if (!arity) {
        *error = QStringLiteral("unknown command \"%1\" (see ferry --help)").arg(out->command);
        out->command.clear();
        return false;
    }
    if (out->help)
        return true;

    const bool intentOptions = !out->action.isEmpty() || !out->data.isEmpty() || !out->type.isEmpty() ||
                               !out->package.isEmpty() || !out->className.isEmpty() ||
                               !out->category.isEmpty() || !out->extras.isEmpty();
    if (intentOptions && out->command != QLatin1String("intent")) {
        *error = QStringLiteral("%1 takes no intent options").arg(out->command);
        return false;
    }
    if (out->source != 0 && out->command != QLatin1String("install")) {
        *error = QStringLiteral("--preload and --partner-space belong to install");
        return false;
    }
    const int max = arity->max < 0 ? kMaxOperands : arity->max;
    if (rest.size() < arity->min || rest.size() > max) {
        if (arity->max == 0)
            *error = QStringLiteral("%1 takes no arguments").arg(out->command);
        else if (rest.size() < arity->min)
            *error = QStringLiteral("%1: missing argument (see ferry %1 --help)").arg(out->command);
        else
            *error = QStringLiteral("%1: too many arguments (see ferry %1 --help)").arg(out->command);
        return false;
    }
    for (const QString &operand : rest) {
        if (operand.isEmpty() || operand.size() > kMaxTextLength || hasControlCharacter(operand)) {
            *error = QStringLiteral("%1: invalid argument").arg(out->command);
            return false;
        }
    }
    if (takesPackage(out->command) && !isValidPackageName(rest.first())) {
        *error = QStringLiteral("invalid package name \"%1\"").arg(rest.first());
        return false;
    }
    if (out->command == QLatin1String("autostart") && rest.size() == 2 && rest.at(1) != QLatin1String("on") &&
        rest.at(1) != QLatin1String("off")) {
        *error = QStringLiteral("autostart: the second argument is on or off");
        return false;
    }
    if (out->command == QLatin1String("remove") && !rest.first().contains(QLatin1Char('/')) &&
        !rest.first().endsWith(QLatin1String(".desktop")) &&
        !isValidPackageName(rest.first())) {
        *error = QStringLiteral("invalid package name \"%1\"").arg(rest.first());
        return false;
    }
    if (out->command == QLatin1String("intent")) {
        if (!out->package.isEmpty() && !isValidPackageName(out->package)) {
            *error = QStringLiteral("invalid package name \"%1\"").arg(out->package);
            return false;
        }
        if (!out->className.isEmpty() && out->package.isEmpty()) {
            *error = QStringLiteral("--class needs --package");
            return false;
        }
    }
    out->operands = rest;
    return true;
}
