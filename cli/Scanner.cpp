#include "cli/Scanner.h"

#include "cli/DeviceFields.h"
#include "cli/DeviceJob.h"
#include "cli/Interruption.h"
#include "cli/ParallelRunner.h"
#include "comm/AddressProbe.h"
#include "res/CliTexts.h"

#include <atomic>
#include <optional>

namespace {
// A failed read-out that is not a refusal by status record is a host that accepts the
// connection but gives no usable answer.
ScanState StateOf(const DeviceOutcome& readOut) {
    if (readOut.Succeeded())
        return ScanState::Encoder;
    if (readOut.errorCode == QLatin1String(res::cli::CodeNotValidDevice))
        return ScanState::NotValidDevice;
    return ScanState::NoReply;
}
} // namespace

std::vector<ScanResult> CScanner::Run(const std::vector<std::array<BYTE, 4>>& addresses, int jobs,
                                      int timeoutMs, const LinkOptions& link, qint64& scanned) {
    std::vector<std::optional<ScanResult>> found(addresses.size());
    std::atomic<qint64> probed{0};
    CParallelRunner::Run(static_cast<int>(addresses.size()), jobs, [&](int index) {
        if (CInterruption::Requested())
            return;
        ++probed;
        const auto& address = addresses[static_cast<std::size_t>(index)];
        if (!CAddressProbe::Accepts(address, timeoutMs))
            return;
        CDeviceJob job(address, link);
        const ScanState state = StateOf(job.ReadOut());
        found[static_cast<std::size_t>(index)] =
            ScanResult{CDeviceFields::DottedAddress(address), state, job.Record()};
    });
    scanned = probed.load();
    std::vector<ScanResult> results;
    for (auto& entry : found) {
        if (entry)
            results.push_back(std::move(*entry));
    }
    return results;
}
