#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace testsupport {

// Moves both registry hives into a fresh temporary folder for one test and puts the
// previous locations back afterwards.
class TemporaryHives : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_previousUser = qgetenv("RIVIVOZUZUVOD_HKCU_DIR");
        m_previousMachine = qgetenv("RIVIVOZUZUVOD_HKLM_DIR");
        qputenv("RIVIVOZUZUVOD_HKCU_DIR", userDir().toLocal8Bit());
        qputenv("RIVIVOZUZUVOD_HKLM_DIR", machineDir().toLocal8Bit());
    }
    void TearDown() override {
        qputenv("RIVIVOZUZUVOD_HKCU_DIR", m_previousUser);
        qputenv("RIVIVOZUZUVOD_HKLM_DIR", m_previousMachine);
    }

    QString userDir() const { return m_dir.filePath(QStringLiteral("hkcu")); }
    QString machineDir() const { return m_dir.filePath(QStringLiteral("hklm")); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previousUser;
    QByteArray m_previousMachine;
};

} // namespace testsupport
