#pragma once

// The status poller's callback; the context is the main dialog. Asks the device for its
// status on the dialog's own link and shows the resolver position; a device that no longer
// reports itself as valid ends polling and drops the link. Always returns 0.
int PollDeviceStatus(void* context);
