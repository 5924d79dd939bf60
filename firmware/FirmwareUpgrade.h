#pragma once

#include "comm/Outcome.h"
#include "firmware/UpgradeProgress.h"
#include "platform/WinTypes.h"

#include <span>

class CCommInterface;

// Image bytes per block request; only the last block may be shorter.
inline constexpr int FIRMWARE_BLOCK_SIZE = 230;
// Exec payload: image length (4 bytes) and CRC-16 (2 bytes), most significant byte first.
inline constexpr int EXEC_PAYLOAD_SIZE = 6;

// Takes the device through the three phases of an upgrade on a link that the caller owns:
// boot, the image in blocks, and exec with the image's length and CRC-16. A phase that fails
// ends the upgrade with its cause (BootFailed, TransferFailed, ExecFailed) and its failure
// text after the link's own messages; full success carries "Upgrade Firmware - Successful.".
// A stop asked for through the progress ends it between blocks with Interrupted.
// Makes no pauses of its own: each request follows the reply of the one before.
class CFirmwareUpgrade {
public:
    CFirmwareUpgrade(CCommInterface& comm, UpgradeProgress& progress);

    Outcome Run(std::span<const BYTE> image);

private:
    void Run(std::span<const BYTE> image, Outcome& outcome);
    bool ExecuteBoot();
    bool SendBlocks(std::span<const BYTE> image);
    bool ExecuteExec(DWORD imageLength, WORD crc);

    CCommInterface& m_comm;
    UpgradeProgress& m_progress;
    bool m_stopped = false;
};
