#include "StringTable.h"

#include <QLatin1String>

#include <array>

namespace res {

namespace {
struct StringEntry {
    int id;
    QLatin1String text;
};

// Texts are exact, double spaces and line breaks included; there are no strings 125 and 128.
constexpr std::array<StringEntry, 31> kStrings{{
    {101, QLatin1String("&About DELVOR RivivozUzuvod...")},
    {102, QLatin1String("Error C01_1:  Unable to open communication port.")},
    {103, QLatin1String("Error C01_3:  communication port is being used by some other "
                        "application, Access denied.")},
    {104, QLatin1String("Error C01_4:  Unknown communication error. Please check the cable "
                        "and connection.")},
    {105, QLatin1String("Incorrect Communication Packet  (Checksum Error).")},
    {106, QLatin1String("Incorrect Communication Packet  (Time Out Error). \nCheck cable and "
                        "communication port.")},
    {107, QLatin1String("Device is out of memory.")},
    {108, QLatin1String("Incorrect Communication Packet  (Incorrect message code).")},
    {109, QLatin1String("Incorrect Communication Packet  (Incorrect message number).")},
    {110, QLatin1String("Incorrect Communication Packet  (Incorrect type).")},
    {111, QLatin1String("Incorrect Communication Packet  (Incorrect message length).")},
    {112, QLatin1String("Incorrect Communication Packet  (Program read only error).")},
    {113, QLatin1String("Incorrect Communication Packet  (Incorrect Format).")},
    {114, QLatin1String("Incorrect Communication Packet  (Image not found).")},
    {115, QLatin1String("There is a Port conflict. Check the ports.")},
    {116, QLatin1String("Panel does not have the firmware loaded.  \nPlease load the panel with "
                        "latest firmware.")},
    {117, QLatin1String("Incorrect Communication Packet  (Protection error).")},
    {118, QLatin1String("Incorrect Communication Packet  (Incorrect password).")},
    {119, QLatin1String("Incorrect Communication Packet  (Error in INIT).")},
    {120, QLatin1String("Incorrect Communication Packet  (ERR MSG ECHOED).")},
    {121, QLatin1String("User aborted communication.")},
    {122, QLatin1String("DORudor dll not initialized.")},
    {123, QLatin1String("Incorrect Communication Packet  (Error in EEPROM program).")},
    {124, QLatin1String("Invalid argument type.")},
    {126, QLatin1String("Unable to create thread.")},
    {127, QLatin1String("Unable to close communication port.")},
    {129, QLatin1String("DORudor Dll not loaded.")},
    {130, QLatin1String("The starting address does not match.")},
    {131, QLatin1String("Error reading driver or hex file")},
    {132, QLatin1String("Error in transmitting data.")},
    {133, QLatin1String("Incorrect Communication Packet  (Incorrect message load).")},
}};
} // namespace

QString LoadResString(int id) {
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id)
            return QString(entry.text);
    }
    return {};
}

} // namespace res
