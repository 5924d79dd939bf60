#include "firmware/FirmwareUpgrade.h"

#include "comm/CommInterface.h"
#include "comm/MessageCodes.h"
#include "commdll/Crc16.h"
#include "res/Texts.h"

#include <array>

namespace {

std::array<BYTE, EXEC_PAYLOAD_SIZE> ExecPayload(DWORD imageLength, WORD crc) {
    return {static_cast<BYTE>(imageLength >> 24), static_cast<BYTE>(imageLength >> 16),
            static_cast<BYTE>(imageLength >> 8),  static_cast<BYTE>(imageLength),
            static_cast<BYTE>(crc >> 8),          static_cast<BYTE>(crc)};
}

} // namespace

CFirmwareUpgrade::CFirmwareUpgrade(CCommInterface& comm, UpgradeProgress& progress)
    : m_comm(comm), m_progress(progress) {}

Outcome CFirmwareUpgrade::Run(std::span<const BYTE> image) {
    Outcome outcome;
    const CCommInterface::ReportScope report(m_comm, outcome);
    Run(image, outcome);
    return outcome;
}

void CFirmwareUpgrade::Run(std::span<const BYTE> image, Outcome& outcome) {
    m_progress.EnterPhase(UpgradePhase::Boot);
    m_progress.SetStatusText(QString(res::text::StatusExecutingBoot));
    m_progress.Repaint();
    if (!ExecuteBoot()) {
        outcome.Fail(Cause::BootFailed, QString(res::text::ExecutingBootFailed));
        return;
    }

    m_progress.EnterPhase(UpgradePhase::Transfer);
    m_progress.SetStatusText(QString(res::text::StatusUpgradingFirmware));
    const bool transferred = SendBlocks(image);
    if (m_stopped) {
        outcome.Fail(Cause::Interrupted, QString(res::text::UpgradeInterrupted));
        return;
    }
    // The CRC is taken whether or not the transfer went through; only exec carries it.
    const WORD crc = commdll::Crc16Xmodem(image);
    if (!transferred) {
        outcome.Fail(Cause::TransferFailed, QString(res::text::UpgradeFirmwareFailed));
        return;
    }

    m_progress.EnterPhase(UpgradePhase::Exec);
    m_progress.SetStatusText(QString(res::text::StatusExecutingExec));
    if (!ExecuteExec(static_cast<DWORD>(image.size()), crc)) {
        outcome.Fail(Cause::ExecFailed, QString(res::text::ExecutingExecFailed));
        return;
    }
    m_progress.SetProgressPos(100); // the device has taken the whole image
    m_progress.SetStatusText(QString());
    outcome.Tell(QString(res::text::UpgradeFirmwareSuccessful), platform::MessageIcon::Information);
}

bool CFirmwareUpgrade::ExecuteBoot() {
    return m_comm.ExecuteCommand(MSG_EXECUTE_BOOT, false, QString(res::text::CmdExecutingBoot),
                                 nullptr, 0);
}

// Blocks go out at offsets 0, 230, 460, ...; the first carries the first-block flag, the one
// that reaches the image's end the last-block flag. A rejected block ends the transfer: no
// retry, no further block. A stop asked for before a block sends no further block.
bool CFirmwareUpgrade::SendBlocks(std::span<const BYTE> image) {
    const std::size_t length = image.size();
    BYTE flags = BLOCK_FLAG_FIRST;
    for (std::size_t offset = 0; offset < length; offset += FIRMWARE_BLOCK_SIZE) {
        if ((m_stopped = m_progress.StopRequested()))
            return false;
        const bool last = offset + FIRMWARE_BLOCK_SIZE >= length;
        const std::size_t blockLength = last ? length - offset : FIRMWARE_BLOCK_SIZE;
        if (last)
            flags |= BLOCK_FLAG_LAST;
        if (!m_comm.ExecuteCommand(MSG_FIRMWARE_BLOCK, true, QString(res::text::CmdUpgradeFirmware),
                                   image.data() + offset, static_cast<DWORD>(blockLength), flags))
            return false;
        flags &= static_cast<BYTE>(~BLOCK_FLAG_FIRST);
        // The share sent before this block: 0 after the first, never 100.
        m_progress.SetProgressPos(static_cast<int>(offset * 100 / length));
    }
    return true;
}

bool CFirmwareUpgrade::ExecuteExec(DWORD imageLength, WORD crc) {
    const auto payload = ExecPayload(imageLength, crc);
    return m_comm.ExecuteCommand(MSG_EXECUTE_EXEC, false, QString(res::text::CmdExecutingExec),
                                 payload.data(), EXEC_PAYLOAD_SIZE);
}
