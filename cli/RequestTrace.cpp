#include "cli/RequestTrace.h"

#include "cli/Output.h"
#include "platform/Ipv4Address.h"
#include "res/CliTexts.h"

using namespace res;

void CRequestTrace::RequestEnded(const CCommInterface& link, const QString& text, bool succeeded,
                                 qint64 elapsedMs) {
    m_output.Error(
        Ipv4Address(link.Data().m_DeviceIp).ToString(),
        {QString(cli::TraceLineFormat)
             .arg(COutput::TimeStamp(), text, QString(succeeded ? cli::TraceOk : cli::TraceFailed))
             .arg(elapsedMs)});
}
