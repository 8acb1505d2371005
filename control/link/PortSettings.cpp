#include "control/link/PortSettings.h"

#include "control/link/Ini.h"
#include "control/link/RangeList.h"

#include <array>

namespace brimlink::link {
namespace {

constexpr std::string_view kPortSection = "PortSettings";
constexpr std::string_view kDebugSection = "Debug";
constexpr std::string_view kUseUsb = "UseUSB";
constexpr std::string_view kUseSerial = "UseSerial";
constexpr std::string_view kSearchCom = "SearchCOM";
constexpr std::string_view kExcludeCom = "ExcludeCOM";
constexpr std::string_view kShowAtStartup = "ShowAtStartup";

std::string_view YesNo(int value) { return value != 0 ? "Y" : "N"; }

}  // namespace

PortSettings ReadPortSettings(const CIni& ini)
{
    PortSettings settings;
    settings.useUsb = ini.ReadYesNo(kPortSection, kUseUsb, 1);
    settings.useSerial = ini.ReadYesNo(kPortSection, kUseSerial, 1);
    settings.searchCom = NormaliseRangeList(ini.ReadString(kPortSection, kSearchCom, "1-255"));
    settings.excludeCom = NormaliseRangeList(ini.ReadString(kPortSection, kExcludeCom, ""));
    settings.showAtStartup = ini.ReadYesNo(kDebugSection, kShowAtStartup, 0);
    return settings;
}

bool WritePortSettings(CIni& ini, const PortSettings& settings)
{
    const std::string searchCom = NormaliseRangeList(settings.searchCom);
    const std::string excludeCom = NormaliseRangeList(settings.excludeCom);
    const std::array<IniEntry, 5> entries{{
        {kPortSection, kUseUsb, YesNo(settings.useUsb)},
        {kPortSection, kUseSerial, YesNo(settings.useSerial)},
        {kPortSection, kSearchCom, searchCom},
        {kPortSection, kExcludeCom, excludeCom},
        {kDebugSection, kShowAtStartup, YesNo(settings.showAtStartup)},
    }};
    return ini.WriteStrings(entries);
}

PortSettings LoadAndWriteBack(CIni& ini, std::string* problem)
{
    PortSettings settings = ReadPortSettings(ini);
    const bool written = WritePortSettings(ini, settings);
    if (problem != nullptr) {
        problem->clear();
        if (std::string unused = ini.Problem(); !unused.empty())
            *problem = "Settings: " + ini.Path() + " is not used and kept as it is: " + unused;
        else if (!written)
            *problem = "Settings: " + ini.Path() + " is not written back: " + ini.LastError();
    }
    return settings;
}

}  // namespace brimlink::link
