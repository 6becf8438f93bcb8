#include "game/gamelog.h"

#include "core/textcodec.h"
#include "platform/process.h"
#include "platform/programlog.h"
#include "platform/userdirs.h"

namespace {

constexpr char kReplacement = '_';
constexpr char kDeleteChar = 0x7F;

bool IsUnsafe(char c)
{
    return c == '/' || c == '\\' || c == kDeleteChar || static_cast<unsigned char>(c) < 0x20;
}

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string LogFileName(const std::string& serverName)
{
    std::string name = DisplayText(serverName);
    for (char& c : name)
        if (IsUnsafe(c))
            c = kReplacement;
    if (name.size() > kMaxLogNameBytes) {
        std::size_t cut = kMaxLogNameBytes;
        while (cut > 0 && IsContinuationByte(name[cut]))
            --cut;
        name.resize(cut);
    }
    if (name.empty() || name.front() == '.')
        name.insert(name.begin(), kReplacement);
    return name + kLogSuffix;
}

std::string GameLogPath(const std::string& serverName)
{
    const std::string folder = platform::PrivateStateSubfolder(kLogFolderName, false);
    return folder.empty() ? std::string() : folder + LogFileName(serverName);
}

std::unique_ptr<platform::TProgramLog> OpenGameLog(const std::string& serverName)
{
    const std::string folder = platform::PrivateStateSubfolder(kLogFolderName, true);
    return folder.empty() ? nullptr : platform::TProgramLog::Open(folder + LogFileName(serverName));
}

TProgramStarter StarterInto(const platform::TProgramLog* log)
{
    return
        [log](const std::vector<std::string>& argv, const std::string& workingFolder, const TEnvironment& environment) {
            return platform::StartProgram(argv, workingFolder, environment, log);
        };
}
