#include "cli/Scanner.h"

#include "cli/DeviceFields.h"
#include "cli/DeviceJob.h"
#include "cli/ParallelRunner.h"
#include "comm/AddressProbe.h"

#include <optional>

std::vector<ScanResult> CScanner::Run(const std::vector<std::array<BYTE, 4>>& addresses, int jobs,
                                      int timeoutMs) {
    std::vector<std::optional<ScanResult>> found(addresses.size());
    CParallelRunner::Run(static_cast<int>(addresses.size()), jobs, [&](int index) {
        const auto& address = addresses[static_cast<std::size_t>(index)];
        const QString text = CDeviceFields::DottedAddress(address);
        if (!CAddressProbe::Accepts(address, timeoutMs))
            return;
        CDeviceJob job(address);
        if (job.ReadOut().Succeeded())
            found[static_cast<std::size_t>(index)] = ScanResult{text, job.Record()};
    });
    std::vector<ScanResult> results;
    for (auto& entry : found) {
        if (entry)
            results.push_back(std::move(*entry));
    }
    return results;
}
