#pragma once

#include <QString>

// The application object: makes sure the settings key exists, runs the main dialog as the
// program's only top-level window, and ends the program when it closes.
class CDELVOREncoderApp {
public:
    CDELVOREncoderApp();

    // Runs the main dialog until it closes; always false, so that nothing else runs after.
    bool InitInstance();

    // Demo mode: the address of a simulated encoder to put into the target field.
    void SetDemoAddress(const QString& address) { m_demoAddress = address; }

private:
    QString m_demoAddress;
};
