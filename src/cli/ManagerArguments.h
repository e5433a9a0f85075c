#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace qm::cli {

// quillmarcB's command line, read before anything touches a window system, so a mistake is
// reported the same with a display or without.
struct ManagerArguments
{
    bool help = false;
    QString problem;     // not empty: a mistake, reported with the usage
    QString dataOption;  // --data FOLDER
    QStringList command; // a command and its arguments (isAccountCommand), or empty
    // Qt's own options for the window (-style, -platform ...), by their index in argv.
    QList<int> qtArguments;
};

ManagerArguments parseManagerArguments(const QStringList& args);

// Whether the window can be shown at all: a display, or a platform chosen by hand.
bool hasWindowSystem(const QProcessEnvironment& env, const ManagerArguments& args,
                     const QStringList& argv);

} // namespace qm::cli
