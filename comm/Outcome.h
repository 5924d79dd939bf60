#pragma once

#include "platform/MessageBox.h"

#include <QString>
#include <QVariantMap>

#include <vector>

// Why an operation on a device or a firmware file ended as it did. The command line turns
// each cause into an exit code and a stable error code that scripts rely on, so a cause
// keeps its meaning once it exists.
enum class Cause {
    None,               // succeeded
    LinkFailure,        // a request failed on the link, or the device reported an error
    NotValidDevice,     // the status record does not start with 'q'
    InvalidAddress,     // an address no IPv4 network can use; nothing was sent
    AddressInUse,       // something answers at the new address already; nothing was sent
    SetRefused,         // the device did not take the new settings
    SettingsNotApplied, // the device holds the new settings but did not restart
    ReconnectFailed,    // the device was not read out again after its restart
    ReadbackMismatch,   // what the device reports after the change is not what was written
    OtherDeviceAnswers, // the device read out after the change has another MAC ID
    FileUnopenable,     // the firmware file cannot be opened as a regular file
    FileRefused,        // the firmware file is not a usable S-record image
    BootFailed,
    TransferFailed,
    ExecFailed,
    Interrupted, // the caller asked to stop; the outcome says what state the device is left in
};

// Keys of Outcome::details; the command line prints them and writes them into its JSON.
namespace detail {
inline constexpr char kFile[] = "file";
inline constexpr char kLine[] = "line";
inline constexpr char kReason[] = "reason";
inline constexpr char kField[] = "field";
inline constexpr char kExpected[] = "expected";
inline constexpr char kRead[] = "read";
inline constexpr char kDeviceStatus[] = "device_status";
inline constexpr char kAddress[] = "address";
} // namespace detail

// How an operation ended: its cause, the message boxes the window shows for it in the order
// it shows them (successes included), and details for callers that report more than the
// boxes say (file and line, expected and read values, the device's own status).
struct Outcome {
    Cause cause = Cause::None;
    std::vector<platform::MessageBoxRequest> messages;
    QVariantMap details;

    bool Succeeded() const { return cause == Cause::None; }

    // Adds one box with the application's caption.
    void Tell(const QString& text, platform::MessageIcon icon, int helpContext = 0);
    // Ends the outcome with `why`, adding the box that says so.
    Outcome& Fail(Cause why, const QString& text,
                  platform::MessageIcon icon = platform::MessageIcon::Error);
    // Takes over the messages and details of a later step; its cause decides.
    Outcome& Then(Outcome&& later);
    // The texts of the boxes, in order.
    QStringList Texts() const;

    static Outcome Failure(Cause why, const QString& text,
                           platform::MessageIcon icon = platform::MessageIcon::Error);
};

// Shows every box of the outcome, in order, each after the one before has been closed.
void ShowOutcome(const Outcome& outcome);
