// The five port and trace settings kept in Brimlink.ini.
#pragma once

#include <string>

namespace brimlink::link {

class CIni;

struct PortSettings {
    int useUsb = 1;
    int useSerial = 1;
    std::string searchCom = "1-255";  // normalised range list
    std::string excludeCom;           // normalised range list
    int showAtStartup = 0;
};

// [PortSettings] UseUSB, UseSerial, SearchCOM, ExcludeCOM and [Debug]
// ShowAtStartup, with their defaults; the lists come back normalised.
PortSettings ReadPortSettings(const CIni& ini);

// All five in one replacement of the file: flags as "Y"/"N", lists normalised.
// False when the file could not be written (the values are then lost).
bool WritePortSettings(CIni& ini, const PortSettings& settings);

// What the control does when it is created: read the settings and write all
// five back, so the file always holds every key. A file that cannot be read
// cleanly gives the defaults and is kept as it is. problem, when given: why
// the file was not used or not written, in one line; empty when all went well.
PortSettings LoadAndWriteBack(CIni& ini, std::string* problem = nullptr);

}  // namespace brimlink::link
