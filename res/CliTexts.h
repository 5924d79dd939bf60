#pragma once

#include <QLatin1String>

// Fixed texts of the command line: help, field labels, table headings, its own messages and
// the stable names of its error codes. The device messages are the window's (Texts.h).
namespace res::cli {

inline constexpr QLatin1String ProgramName{"rivivozuzuvod-cli"};
inline constexpr QLatin1String Description{
    "Commissions DELVOR resolver encoders from scripts: reads and changes one device, scans "
    "address ranges, and runs a plan over many devices at once."};
inline constexpr QLatin1String ExitCodesHelp{
    "Exit codes:\n"
    "  0  all succeeded\n"
    "  1  a device or link failure (batch: at least one device failed)\n"
    "  2  usage error\n"
    "  3  the value read back differs from the value set\n"
    "  4  the firmware file was refused\n"
    "  130  interrupted by SIGINT or SIGTERM (the report says what was done)\n"
    "  141  standard output was closed by its reader"};
inline constexpr QLatin1String StdoutWriteFailedFormat{"cannot write to standard output: %1"};
inline constexpr QLatin1String SubcommandsHeading{
    "Subcommands (each has --help; help SUBCOMMAND says the same):"};
inline constexpr QLatin1String UsageFormat{"Usage: %1 [--format text|json] SUBCOMMAND ..."};
inline constexpr QLatin1String SubcommandUsageFormat{"Usage: %1 %2 %3 [options]"};
inline constexpr QLatin1String UnknownSubcommandFormat{"Unknown subcommand '%1'."};
inline constexpr QLatin1String MissingSubcommand{"No subcommand given."};
inline constexpr QLatin1String ArgumentCountFormat{"'%1' takes %2."};
inline constexpr QLatin1String BadAddressFormat{"'%1' is not an IPv4 address (a.b.c.d)."};
inline constexpr QLatin1String BadNumberFormat{"Bad value for --%1: '%2'."};
inline constexpr QLatin1String BadFormatFormat{"Bad value for --format: '%1' (text or json)."};
inline constexpr QLatin1String BadProtocolFormat{
    "'%1' is not a protocol (ethernet-ip, modbus-tcp or delvor)."};
inline constexpr QLatin1String BadModeFormat{"'%1' is not a resolver mode (dm7 or no-dm7)."};
inline constexpr QLatin1String BadRangeFormat{
    "'%1' is not an address range (a CIDR block a.b.c.d/n with n from 16 to 32, or "
    "first-last with at most 65536 addresses)."};
inline constexpr QLatin1String PlanUnreadableFormat{"Cannot read the plan '%1'."};
inline constexpr QLatin1String PlanNotAFileFormat{
    "The plan '%1' is not a regular file (a pipe is read when given as - for standard input "
    "or as /dev/fd/N)."};
inline constexpr QLatin1String PlanStandardInput{"standard input"};
inline constexpr QLatin1String PlanRowFormat{"%1 line %2: %3"};
inline constexpr QLatin1String PlanColumnCount{"a row has 1 to 7 columns"};
inline constexpr QLatin1String PlanTooLarge{"the plan is larger than 1 MiB or 4096 rows"};
inline constexpr QLatin1String PlanDuplicateFormat{"the device %1 is listed twice"};
inline constexpr QLatin1String PlanNewAddressTwiceFormat{
    "the new address %1 is also the new address on line %2"};
inline constexpr QLatin1String PlanNewAddressIsDeviceFormat{
    "the new address %1 is also the device on line %2"};
inline constexpr QLatin1String PlanDeviceIsNewAddressFormat{
    "the device %1 is also the new address on line %2"};
inline constexpr QLatin1String PlanEmpty{"the plan lists no device"};
inline constexpr QLatin1String PlanMoreProblemsFormat{"... and %1 more problems"};

// Subcommands: name, arguments, one-line summary.
inline constexpr QLatin1String InfoArgs{"ADDRESS"};
inline constexpr QLatin1String InfoSummary{
    "Read the device: status, network settings, protocol, mode, revisions, PLC parameters, "
    "position."};
inline constexpr QLatin1String WatchArgs{"ADDRESS"};
inline constexpr QLatin1String WatchSummary{
    "Print the resolver position and its time stamp, one line per poll."};
inline constexpr QLatin1String SetIpArgs{"ADDRESS NEW"};
inline constexpr QLatin1String SetIpSummary{
    "Give the device a new address (mask and gateway default to the device's own), restart, "
    "reconnect and read back."};
inline constexpr QLatin1String SetProtocolArgs{"ADDRESS ethernet-ip|modbus-tcp|delvor"};
inline constexpr QLatin1String SetProtocolSummary{
    "Switch the field-bus protocol, restart, reconnect and compare."};
inline constexpr QLatin1String SetModeArgs{"ADDRESS dm7|no-dm7"};
inline constexpr QLatin1String SetModeSummary{
    "Switch the resolver mode, restart, reconnect and compare."};
inline constexpr QLatin1String UpgradeArgs{"ADDRESS FILE"};
inline constexpr QLatin1String UpgradeSummary{
    "Load an S-record file into the device (boot, blocks, exec), reconnect and report the new "
    "exec revision."};
inline constexpr QLatin1String ScanArgs{"RANGE"};
inline constexpr QLatin1String ScanSummary{
    "Find encoders in a CIDR block (127.0.0.0/24) or a first-last range; other hosts that "
    "accept on the device port are listed with their state."};
inline constexpr QLatin1String BatchArgs{"PLAN.csv|-"};
inline constexpr QLatin1String BatchSummary{
    "Run a plan (address,new_ip,mask,gateway,protocol,mode,firmware; empty = unchanged) over "
    "many devices at once."};

// Options.
inline constexpr QLatin1String FormatHelp{"Output format: text (default) or json."};
inline constexpr QLatin1String IntervalHelp{"Time between polls in ms (default 1000)."};
inline constexpr QLatin1String CountHelp{"Stop after N polls (default: until interrupted)."};
inline constexpr QLatin1String MaskHelp{"New subnet mask (default: the device's own)."};
inline constexpr QLatin1String GatewayHelp{"New gateway (default: the device's own)."};
inline constexpr QLatin1String JobsHelp{"Devices worked on at once (default %1)."};
inline constexpr QLatin1String RequestTimeoutHelp{
    "Time-out of each request in ms (default 3000; boot and exec keep their own). scan: of "
    "each connect attempt (default 300)."};
inline constexpr QLatin1String RetriesHelp{
    "Tries a read again up to N times after a fault of the link (time-out, refused "
    "connection, damaged reply); never a write, never after the device's refusal (default 0)."};
inline constexpr QLatin1String QuietHelp{
    "No progress, notes or summaries: results and errors only."};
inline constexpr QLatin1String VerboseHelp{"Each request on standard error with its time."};
inline constexpr QLatin1String LogHelp{
    "Append a time-stamped JSON line per device touched to FILE: what was asked, how it "
    "ended, what was read back."};
inline constexpr QLatin1String LogUnopenableFormat{"Cannot open the log '%1': %2"};
inline constexpr QLatin1String TraceLineFormat{"%1 %2: %3 in %4 ms"};
inline constexpr QLatin1String TraceOk{"ok"};
inline constexpr QLatin1String TraceFailed{"failed"};
inline constexpr QLatin1String DryRunHelp{
    "Check the plan (addresses, values, firmware files) and touch no device."};

// Field labels of one device, in the order they are shown.
inline constexpr QLatin1String LabelAddress{"Address"};
inline constexpr QLatin1String LabelStatus{"Status record"};
inline constexpr QLatin1String LabelMac{"MAC address"};
inline constexpr QLatin1String LabelIp{"IP address"};
inline constexpr QLatin1String LabelMask{"Subnet mask"};
inline constexpr QLatin1String LabelGateway{"Gateway"};
inline constexpr QLatin1String LabelProtocol{"Protocol"};
inline constexpr QLatin1String LabelMode{"Resolver mode"};
inline constexpr QLatin1String LabelHardwareRev{"Hardware revision"};
inline constexpr QLatin1String LabelBootRev{"Boot revision"};
inline constexpr QLatin1String LabelExecRev{"Exec revision"};
inline constexpr QLatin1String LabelInputInstance{"Input assembly instance"};
inline constexpr QLatin1String LabelInputSize{"Input size (16-bit)"};
inline constexpr QLatin1String LabelOutputInstance{"Output assembly instance"};
inline constexpr QLatin1String LabelOutputSize{"Output size (16-bit)"};
inline constexpr QLatin1String LabelConfigInstance{"Configuration assembly instance"};
inline constexpr QLatin1String LabelConfigSize{"Configuration size (8-bit)"};
inline constexpr QLatin1String LabelPositionRegister{"Modbus position address"};
inline constexpr QLatin1String LabelHeartbeatRegister{"Modbus heartbeat counter"};
inline constexpr QLatin1String LabelPosition{"Resolver position"};
inline constexpr QLatin1String LabelImageBytes{"Image bytes"};
inline constexpr QLatin1String LabelChanged{"Changed"};
inline constexpr QLatin1String ChangedYes{"yes"};
inline constexpr QLatin1String ChangedNo{"no (the device already holds this value)"};
inline constexpr QLatin1String ModbusPositionRegister{"40001"};
inline constexpr QLatin1String ModbusHeartbeatRegister{"40002"};
inline constexpr QLatin1String WatchLineFormat{"%1  %2"};

// Upgrade phases in the order of UpgradePhase (boot, transfer, exec, reconnect): the stable
// name (JSON "phase") and the word of the progress line.
struct PhaseText {
    QLatin1String name;
    QLatin1String word;
};
inline constexpr PhaseText Phases[] = {{QLatin1String("boot"), QLatin1String("erasing")},
                                       {QLatin1String("transfer"), QLatin1String("writing")},
                                       {QLatin1String("exec"), QLatin1String("starting")},
                                       {QLatin1String("reconnect"), QLatin1String("reconnecting")}};
inline constexpr QLatin1String DevicesDoneFormat{"%1 of %2 devices done"};

// Table headings and outcomes.
inline constexpr QLatin1String HeadingResult{"Result"};
inline constexpr QLatin1String HeadingSteps{"Steps"};
inline constexpr QLatin1String HeadingError{"Error"};
inline constexpr QLatin1String ResultOk{"ok"};
inline constexpr QLatin1String ResultFailed{"failed"};
inline constexpr QLatin1String ResultChecked{"checked"};
inline constexpr QLatin1String ResultInterrupted{"interrupted"};
inline constexpr QLatin1String ResultNotStarted{"not-started"};
inline constexpr QLatin1String HeadingNotDone{"Not done"};
inline constexpr QLatin1String BatchDeviceLineFormat{"%1  %2  %3"};
inline constexpr QLatin1String NoStep{"-"};
inline constexpr QLatin1String ScanSummaryFormat{
    "%1 of %2 addresses answered as encoders; %3 more accepted a connection."};
inline constexpr QLatin1String LabelState{"State"};
inline constexpr QLatin1String ScanStateEncoder{"encoder"};
inline constexpr QLatin1String ScanStateNotValidDevice{"not-valid-device"};
inline constexpr QLatin1String ScanStateNoReply{"no-reply"};
inline constexpr QLatin1String NotRead{"-"};

// Stable error code names (JSON "code").
inline constexpr QLatin1String CodeUsage{"usage"};
inline constexpr QLatin1String CodeLinkFailure{"link-failure"};
inline constexpr QLatin1String CodeNotValidDevice{"not-valid-device"};
inline constexpr QLatin1String CodeSetFailed{"set-failed"};
inline constexpr QLatin1String CodeReconnectFailed{"reconnect-failed"};
inline constexpr QLatin1String CodeReadbackMismatch{"readback-mismatch"};
inline constexpr QLatin1String CodeBootFailed{"boot-failed"};
inline constexpr QLatin1String CodeTransferFailed{"transfer-failed"};
inline constexpr QLatin1String CodeExecFailed{"exec-failed"};
inline constexpr QLatin1String CodeFileRefused{"file-refused"};
inline constexpr QLatin1String CodeInvalidAddress{"invalid-address"};
inline constexpr QLatin1String CodeAddressInUse{"address-in-use"};
inline constexpr QLatin1String CodeSettingsNotApplied{"settings-not-applied"};
inline constexpr QLatin1String CodeInterrupted{"interrupted"};
inline constexpr QLatin1String InterruptedBeforeStep{
    "Interrupted: nothing more was sent to the device."};
inline constexpr QLatin1String DetailLineFormat{"%1: %2"};
// A firmware file's details, as compilers name a place in a file.
inline constexpr QLatin1String FileLineReasonFormat{"%1 line %2: %3"};
inline constexpr QLatin1String FileReasonFormat{"%1: %2"};

} // namespace res::cli
