#pragma once

#include <QStringList>

namespace viro::cli {

// Each command takes the arguments after its name and returns the process exit status.
int runAnalyze(const QStringList& args);
int runCipher(const QStringList& args);
int runSettings(const QStringList& args);

} // namespace viro::cli
