#pragma once

#include "firmware/UpgradeProgress.h"
#include "platform/WinTypes.h"

#include <span>

class CCommInterface;

// Image bytes per block request; only the last block may be shorter.
inline constexpr int FIRMWARE_BLOCK_SIZE = 230;
// Exec payload: image length (4 bytes) and CRC-16 (2 bytes), most significant byte first.
inline constexpr int EXEC_PAYLOAD_SIZE = 6;

enum class UpgradeOutcome { Succeeded, BootFailed, TransferFailed, ExecFailed };

// Takes the device through the three phases of an upgrade on a link that the caller owns:
// boot, the image in blocks, and exec with the image's length and CRC-16. Each phase that
// fails is told to the operator once (error icon) and ends the upgrade; full success is told
// with the information icon. Makes no pauses of its own: each request follows the reply of
// the one before.
class CFirmwareUpgrade {
public:
    CFirmwareUpgrade(CCommInterface& comm, UpgradeProgress& progress);

    UpgradeOutcome Run(std::span<const BYTE> image);

private:
    bool ExecuteBoot();
    bool SendBlocks(std::span<const BYTE> image);
    bool ExecuteExec(DWORD imageLength, WORD crc);

    CCommInterface& m_comm;
    UpgradeProgress& m_progress;
};
