#include "control/interface/TypeTable.h"

#include <algorithm>
#include <cstdio>

namespace brimlink::automation {

namespace {

template <class Char>
Char Lower(Char c) { return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c; }

// Only ASCII letters fold, so a name with other characters matches only itself.
template <class Char>
bool SameName(std::string_view ascii, std::basic_string_view<Char> name) {
    if (ascii.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (Lower(static_cast<Char>(static_cast<unsigned char>(ascii[i]))) != Lower(name[i])) return false;
    return true;
}

template <class Char>
const MethodInfo* FindByName(const InterfaceInfo& info, std::basic_string_view<Char> name) {
    const auto it = std::find_if(info.methods.begin(), info.methods.end(),
                                 [&](const MethodInfo& m) { return SameName(m.name, name); });
    return it == info.methods.end() ? nullptr : &*it;
}

}  // namespace

const MethodInfo* FindMethod(const InterfaceInfo& info, DISPID dispid) {
    const auto it = std::find_if(info.methods.begin(), info.methods.end(),
                                 [&](const MethodInfo& m) { return m.dispid == dispid; });
    return it == info.methods.end() ? nullptr : &*it;
}

const MethodInfo* FindMethod(const InterfaceInfo& info, std::u16string_view name) {
    return FindByName(info, name);
}

const MethodInfo* FindMethod(const InterfaceInfo& info, std::string_view name) {
    return FindByName(info, name);
}

HRESULT GetIdOfName(const InterfaceInfo& info, std::u16string_view name, DISPID* id) {
    if (id == nullptr) return E_POINTER;
    const MethodInfo* m = FindMethod(info, name);
    if (m == nullptr) return DISP_E_UNKNOWNNAME;
    *id = m->dispid;
    return S_OK;
}

std::string FormatMethod(const MethodInfo& method) {
    std::string line = std::to_string(method.dispid);
    line += ' ';
    line += method.name;
    line += '(';
    for (std::size_t i = 0; i < method.params.size(); ++i) {
        if (i > 0) line += ", ";
        line += method.params[i].name;
        line += ": ";
        line += TypeName(method.params[i].type);
    }
    line += ')';
    if (method.result != VariantType::Empty) {
        line += " -> ";
        line += TypeName(method.result);
    }
    return line;
}

std::vector<std::string> RenderTypeLibrary() {
    std::vector<std::string> lines;
    const auto& lib = kBrimlinkTypeLibrary;
    char version[32];
    std::snprintf(version, sizeof version, "%u.%u", static_cast<unsigned>(lib.majorVersion),
                  static_cast<unsigned>(lib.minorVersion));
    lines.push_back("library " + std::string(lib.name) + " " + version + " " + lib.libid.ToString() + " \"" +
                    std::string(lib.helpString) + "\"");
    for (const InterfaceInfo* info : {&kBrimlinkInterface, &kBrimlinkEventInterface}) {
        lines.push_back("dispinterface " + std::string(info->name) + " " + info->iid.ToString() + " \"" +
                        std::string(info->helpString) + "\"");
        for (const MethodInfo& m : info->methods) lines.push_back(FormatMethod(m));
    }
    return lines;
}

}  // namespace brimlink::automation
