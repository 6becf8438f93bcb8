// Shared by the tests: a scratch folder with tavix.ini in it, and a clean slate for the global state.
#pragma once

#include <QTemporaryDir>
#include <string>

class TScratchIni
{
public:
    // Points IniPath at tavix.ini in a new empty folder and empties the server list.
    TScratchIni();
    std::string Folder() const;
    std::string Path() const;
    void Write(const std::string& bytes) const;
    std::string Read() const;

private:
    QTemporaryDir dir_;
};

void ResetServers();
