// Runs one file operation and prints "code<TAB>problem<TAB>solution", so that tests can run it
// as another user (an unprivileged one, for the access-denied cases that root never meets).
//   file_op_child create-folder-path PATH
//   file_op_child remove-file PATH
#include "common/FileOperations.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    QString problem;
    QString solution;
    int rc = -1;
    if (args[1] == QStringLiteral("create-folder-path"))
        rc = CreateFolderPath(args[2], &problem, &solution);
    else if (args[1] == QStringLiteral("remove-file"))
        rc = RemoveFile(args[2], &problem, &solution);
    else
        return 2;
    QTextStream(stdout) << rc << '\t' << problem << '\t' << solution << '\n';
    return 0;
}
