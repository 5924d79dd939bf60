#pragma once

#include <QLatin1String>

// Every fixed text the program shows or stores: captions, messages and the printf-style
// formats of the fields. Kept in one place so that wording is changed here only.
namespace res::text {

// Application, registry and help.
inline constexpr QLatin1String AppName{"DELVOR RivivozUzuvod"};
inline constexpr QLatin1String RegistryKeyPath{"SOFTWARE\\DELVORRivivozUzuvod"};
inline constexpr QLatin1String DeviceIpValueName{"DeviceIP"};
inline constexpr QLatin1String DefaultDeviceIp{"192.168.0.20"};
inline constexpr QLatin1String TitleFormat{"%s%s %s"};
inline constexpr QLatin1String AboutVersionFormat{"%s %s"};
inline constexpr QLatin1String HelpFileName{"DELVOR Rivivoz Uzuvod.chm"};
inline constexpr QLatin1String HelpPathFormat{"%s/DELVOR Rivivoz Uzuvod.chm"};
inline constexpr QLatin1String SystemErrorCaption{"Error"};
inline constexpr QLatin1String UnexpectedArgumentFormat{"Unexpected argument '%s'."};

// Connect and read-out.
inline constexpr QLatin1String InvalidDeviceIp{"Invalid Device IP Address"};
inline constexpr QLatin1String ProgressGettingStatusId{"Getting Status ID..."};
inline constexpr QLatin1String ProgressGettingMacId{"Getting MAC ID..."};
inline constexpr QLatin1String ProgressGettingEthernetParams{"Getting Ethernet Parameters..."};
inline constexpr QLatin1String NotAValidDevice{"Not a valid Device."};
inline constexpr QLatin1String MacFormat{"%02X:%02X:%02X:%02X:%02X:%02X"};
inline constexpr QLatin1String NumberFormat{"%d"};
inline constexpr QLatin1String RevisionFormat{"%c.%d"};
inline constexpr QLatin1String PositionFormat{"%ld"};
inline constexpr QLatin1String LastUpdatedFormat{"Last Updated On:\n%2d:%02d:%02d %02d/%02d/%02d"};
inline constexpr QLatin1String ModeNameDM7{"DM7"};
inline constexpr QLatin1String ModeNameNoDM7{"NO DM7"};
inline constexpr QLatin1String CurrentModeDM7{"Current Mode : DM7"};
inline constexpr QLatin1String CurrentModeNoDM7{"Current Mode : NO DM7"};
inline constexpr QLatin1String ChangeModeToNoDM7{"Change Mode to NO DM7"};
inline constexpr QLatin1String ChangeModeToDM7{"Change Mode to DM7"};
inline constexpr QLatin1String AddressFormat{"%d.%d.%d.%d"};
// Protocol codes 4 to 15 have no name; the current-protocol field says which code it is.
inline constexpr QLatin1String UnknownProtocolFormat{"Unknown (%d)"};

// Settings changes.
inline constexpr QLatin1String InvalidNewIp{"Invalid New IP Address"};
inline constexpr QLatin1String InvalidSubnetMask{"Invalid Subnet Mask Address"};
inline constexpr QLatin1String InvalidGateway{"Invalid Gateway Address"};
inline constexpr QLatin1String SettingNewIpAddress{"New IP Address"};
inline constexpr QLatin1String SettingProtocol{"Protocol"};
inline constexpr QLatin1String SettingResolverMode{"Resolver Mode"};
inline constexpr QLatin1String SettingProgressFormat{"Setting %s..."};
inline constexpr QLatin1String UnableToSetFormat{"Unable to Set %s"};
inline constexpr QLatin1String SetNewIpSuccessful{"Set New IP Address successful."};
inline constexpr QLatin1String SetNewIpFailed{"Set New IP Address failed."};
inline constexpr QLatin1String ChangeProtocolSuccessful{"Change Protocol successful."};
inline constexpr QLatin1String ChangeProtocolFailed{"Change Protocol failed."};
inline constexpr QLatin1String ChangeModeSuccessful{"Change Resolver Mode successful."};
inline constexpr QLatin1String ChangeModeFailed{"Change Resolver Mode failed."};
inline constexpr QLatin1String AddressInUseFormat{
    "Another device answers at %s. Choose an address that no device uses."};
inline constexpr QLatin1String SettingsNotApplied{
    "The device holds the new settings but did not restart; it applies them at its next "
    "restart."};
inline constexpr QLatin1String OtherDeviceAnswersFormat{
    "The device at %s has the MAC ID %s, not %s: it is not the device that was changed."};

// Why an address is refused (the command line prints these after the window's text).
inline constexpr QLatin1String ReasonAddressZero{"0.0.0.0 is no address"};
inline constexpr QLatin1String ReasonThisNetwork{"addresses 0.x.x.x name no device"};
inline constexpr QLatin1String ReasonMulticastOrReserved{
    "224.0.0.0 and above are multicast, reserved or broadcast addresses"};
inline constexpr QLatin1String ReasonMaskNotContiguous{
    "a subnet mask is ones from the left, then zeros (255.255.255.0)"};
inline constexpr QLatin1String ReasonNetworkAddressFormat{"%s is the network address of %s/%d"};
inline constexpr QLatin1String ReasonBroadcastAddressFormat{"%s is the broadcast address of %s/%d"};
inline constexpr QLatin1String ReasonGatewayOutsideFormat{
    "%s is outside the device's subnet %s/%d"};

// Command layer: status texts of the commands and their own failures.
inline constexpr QLatin1String CmdGettingStatusId{"Getting Status ID"};
inline constexpr QLatin1String CmdGettingMacId{"Getting MAC ID"};
inline constexpr QLatin1String CmdGettingEthernetParams{"Getting Ethernet Parameters"};
inline constexpr QLatin1String CmdGettingEadkParams{"Getting Ethernet eadk Parameters"};
inline constexpr QLatin1String CmdSettingNewIp{"Setting New IP Address"};
inline constexpr QLatin1String CmdRestartingDevice{"Restarting Device.."};
inline constexpr QLatin1String CmdUpgradeFirmware{"Upgrade Firmware"};
inline constexpr QLatin1String CmdExecutingBoot{"Executing Boot"};
inline constexpr QLatin1String CmdExecutingExec{"Executing Exec"};
inline constexpr QLatin1String CmdRunningSuffix{"..."};
inline constexpr QLatin1String CmdErrorPrefix{"Error: "};
inline constexpr QLatin1String UnableToReadMacId{"Unable to Read MAC ID"};
inline constexpr QLatin1String UnableToReadEthernetParams{"Unable to Read Ethernet Parameters"};
inline constexpr QLatin1String UnableToReadEadkParams{"Unable to Read Ethernet eadk Parameters"};

// Firmware.
inline constexpr QLatin1String UnableToOpenFile{"Unable to open file"};
inline constexpr QLatin1String UnableToReadFirmwareFile{"Unable to read firmware file"};
inline constexpr QLatin1String SelectFirmwareFile{"Select Firmware File"};
inline constexpr QLatin1String FirmwareDefaultExtension{"hex"};
inline constexpr QLatin1String UpgradingFirmwareCaption{"Upgrading Firmware..."};
inline constexpr QLatin1String StatusExecutingBoot{"Executing Boot.."};
inline constexpr QLatin1String StatusUpgradingFirmware{"Upgrading Firmware..."};
inline constexpr QLatin1String StatusExecutingExec{"Executing Exec.."};
inline constexpr QLatin1String ExecutingBootFailed{"Executing Boot - Failed."};
inline constexpr QLatin1String UpgradeFirmwareFailed{"Upgrade Firmware - Failed."};
inline constexpr QLatin1String ExecutingExecFailed{"Executing Exec - Failed."};
inline constexpr QLatin1String UpgradeInterrupted{
    "Upgrade interrupted: the device is left in boot mode (run upgrade again)."};
inline constexpr QLatin1String UpgradeFirmwareSuccessful{"Upgrade Firmware - Successful."};

// Why a firmware file is refused: the command line prints these with the file and line.
inline constexpr QLatin1String ReasonFileEmpty{"the file is empty"};
inline constexpr QLatin1String ReasonFileTooLarge{"the file is larger than 5 MiB"};
inline constexpr QLatin1String ReasonFileUnreadable{"the file cannot be read"};
inline constexpr QLatin1String ReasonNotARecord{"not an S-record"};
inline constexpr QLatin1String ReasonLineTooLong{"a record line longer than 254 characters"};
inline constexpr QLatin1String ReasonNotHex{"a character that is not a hexadecimal digit"};
inline constexpr QLatin1String ReasonByteCount{"the byte count does not match the line"};
inline constexpr QLatin1String ReasonChecksum{"wrong checksum"};
inline constexpr QLatin1String ReasonNoDataRecords{"no data records"};
inline constexpr QLatin1String ReasonNoDataBytes{"the data records hold no data"};
inline constexpr QLatin1String ReasonNoEndRecord{
    "no end record (S7, S8, S9) and no count record (S5, S6) after the last data record"};
inline constexpr QLatin1String ReasonCountFormat{
    "the count record says %u data records, %u come before it"};
inline constexpr QLatin1String ReasonRecordBelowFormat{
    "the record at 0x%X lies below the end 0x%llX of the record before it"};
inline constexpr QLatin1String ReasonRecordPastTopFormat{
    "the record at 0x%X runs past address 0xFFFFFFFF"};
inline constexpr QLatin1String ReasonDataAfterEnd{"data after the end record"};
inline constexpr QLatin1String ReasonImageTooLarge{"the image would be larger than 16 MiB"};
inline constexpr QLatin1String ReasonOutOfMemory{"not enough memory for the image"};

// Extra-parameter panel: the fixed configuration row.
inline constexpr QLatin1String ConfigInstance{"1"};
inline constexpr QLatin1String ConfigSize{"0"};

// Platform stand-ins: IP address control, window menu, help window.
inline constexpr QLatin1String IpFieldOutOfRangeFormat{
    "%d is not a valid address field: use a number from 0 to 255."};
inline constexpr QLatin1String WindowMenuMove{"&Move"};
inline constexpr QLatin1String WindowMenuClose{"&Close\tAlt+F4"};
inline constexpr QLatin1String HelpFileCannotOpenFormat{"Cannot open the help file \"%s\"."};
inline constexpr QLatin1String HelpPageNotFoundFormat{"The page \"%s\" is not in this help file."};

} // namespace res::text
