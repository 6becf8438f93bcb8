#include "support/testsupport.h"

#include "core/globaltypes_u.h"
#include "core/servers_u.h"
#include "platform/files.h"

#include <QtTest>

TScratchIni::TScratchIni()
{
    QVERIFY2(dir_.isValid(), "cannot make a scratch folder");
    IniPath = Path();
    ResetServers();
}

std::string TScratchIni::Folder() const
{
    return dir_.path().toStdString() + "/";
}

std::string TScratchIni::Path() const
{
    return Folder() + kIniFileName;
}

void TScratchIni::Write(const std::string& bytes) const
{
    QVERIFY(platform::ReplaceFileAtomically(Path(), bytes));
}

std::string TScratchIni::Read() const
{
    std::string data;
    platform::ReadWholeFile(Path(), data);
    return data;
}

void ResetServers()
{
    Servers.clear();
}
