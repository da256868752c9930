#pragma once

#include <QTemporaryDir>

// Points HOME and the XDG folders at a fresh temporary folder for the life of one test
// executable, so that no test touches the real home folder or the real settings.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString home() const;

private:
    QTemporaryDir m_dir;
};
