#pragma once

#include <QStringList>

// Collects the message boxes that the command layer shows on the calling thread while it
// lives, so that each device keeps its own messages when several run on separate threads.
// Captures nest: the innermost one of a thread receives the boxes.
class CMessageCapture {
public:
    CMessageCapture();
    ~CMessageCapture();
    CMessageCapture(const CMessageCapture&) = delete;
    CMessageCapture& operator=(const CMessageCapture&) = delete;

    // The texts shown so far, oldest first; taking them empties the capture.
    QStringList Take();

    // Routes every message box to the capture of the thread that shows it; a box shown on a
    // thread without a capture goes to standard error. Called once at start-up.
    static void Install();

private:
    QStringList m_texts;
    CMessageCapture* m_outer;
};
