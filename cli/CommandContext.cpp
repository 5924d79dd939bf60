#include "cli/CommandContext.h"

#include "cli/ProgressBar.h"
#include "res/CliTexts.h"

#include <cstdio>

using namespace res;

std::optional<int> CommandContext::Number(const QString& name, int lowest, int highest,
                                          int fallback) const {
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok, 10);
    if (ok && value >= lowest && value <= highest)
        return value;
    std::fprintf(stderr, "%s\n",
                 qPrintable(QString(cli::BadNumberFormat).arg(name, parser.value(name))));
    return std::nullopt;
}

bool CommandContext::ShowsProgress() const {
    return !quiet && CProgressBar::StderrIsTerminal();
}
