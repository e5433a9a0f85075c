#include "cli/ManagerArguments.h"

#include "cli/AccountCommands.h"
#include "cli/SignInCommand.h"

namespace qm::cli {

namespace {

// Qt's options for a window, with a value and without; written "-style X", "-style=X" or
// with two dashes.
const QStringList kQtValueOptions{
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("display"),
    QStringLiteral("geometry"),        QStringLiteral("style"),
    QStringLiteral("stylesheet"),      QStringLiteral("session")};
const QStringList kQtSwitches{QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                              QStringLiteral("nograb"), QStringLiteral("dograb"),
                              QStringLiteral("sync")};

QString qtOptionName(const QString& arg)
{
    QString name = arg;
    if (name.startsWith(QLatin1String("--")))
        name = name.mid(2);
    else if (name.startsWith(u'-'))
        name = name.mid(1);
    else
        return {};
    return name.section(u'=', 0, 0);
}

} // namespace

ManagerArguments parseManagerArguments(const QStringList& args)
{
    ManagerArguments parsed;
    QStringList rest;
    QList<int> restIndex;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            parsed.help = true;
            return parsed;
        }
        QString value;
        if (arg == QLatin1String("--data")) {
            value = args.value(++i);
        } else if (arg.startsWith(QLatin1String("--data="))) {
            value = arg.mid(7);
        } else {
            rest << arg;
            restIndex << i;
            continue;
        }
        if (value.isEmpty()) {
            parsed.problem = QStringLiteral("--data にフォルダがありません。");
            return parsed;
        }
        if (!parsed.dataOption.isEmpty()) {
            parsed.problem = QStringLiteral("--data は一度だけ指定できます。");
            return parsed;
        }
        parsed.dataOption = value;
    }
    if (isAccountCommand(rest) || isSignInCommand(rest)) {
        parsed.command = rest;
        return parsed;
    }
    for (int i = 0; i < rest.size(); ++i) {
        const QString name = qtOptionName(rest.at(i));
        const bool inline_ = rest.at(i).contains(u'=');
        if (kQtSwitches.contains(name) && !inline_) {
            parsed.qtArguments << restIndex.at(i);
        } else if (kQtValueOptions.contains(name) && (inline_ || i + 1 < rest.size())) {
            parsed.qtArguments << restIndex.at(i);
            if (!inline_)
                parsed.qtArguments << restIndex.at(++i);
        } else {
            parsed.problem = QStringLiteral("知らないオプションです: %1").arg(rest.at(i));
            return parsed;
        }
    }
    return parsed;
}

bool hasWindowSystem(const QProcessEnvironment& env, const ManagerArguments& args,
                     const QStringList& argv)
{
    for (int i : args.qtArguments) {
        const QString name = qtOptionName(argv.value(i));
        if (name == u"platform" || name == u"display")
            return true;
    }
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!env.value(QString::fromLatin1(name)).isEmpty())
            return true;
    }
    return false;
}

} // namespace qm::cli
