#pragma once
// APrefController is the preferences store: one ADevice record per device
// type, each with the mappings of its buttons, read from and written to the
// user's "mapping.xml". Every process keeps its own store. Creating one finds
// (and when needed creates) the file's folder and loads the file; changes stay
// in memory until FlushXml replaces the whole file atomically from the records
// alone. The in-memory operations never fail; the file operations raise
// AException named "PrefController" with the reasons "Could not locate config
// file", "Error loading preferences" or "Error saving preferences", and a file
// the XML parser rejects raises AException named "XMLParser" with the parser's
// own description as the reason. A failed Load leaves the store empty.
//
// In-memory operations are in APrefController.cpp, the file operations in
// APrefControllerFile.cpp.

#include "prefs/ADevice.h"
#include "prefs/AEvent.h"
#include "prefs/ATypes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pugi {
class xml_document;
}

class APrefController {
public:
    // The user's "mapping.xml" (GetDefaultXmlPath), then Load.
    APrefController();
    // The file at the given path, then Load; its folder must exist.
    explicit APrefController(std::string xmlPath);
    ~APrefController();
    APrefController(const APrefController&) = delete;
    APrefController& operator=(const APrefController&) = delete;

    // Creates the record for the type when absent, otherwise overwrites the
    // four fields of the same record and keeps its events.
    void AddOrUpdateDevice(EDeviceType type, uint32_t vid, uint32_t pid, int32_t presentationType);
    void RemoveDevice(EDeviceType type);
    void RemoveAllDevices();
    void ClearDevices();
    const ADevice* GetDevice(EDeviceType type) const;
    ADevice* GetDevice(EDeviceType type);
    bool DeviceExists(EDeviceType type) const;
    // Every device record, by ascending device type.
    const std::map<EDeviceType, ADevice>& GetDevices() const { return fDevices; }

    // These forward to the device record of the type and do nothing when
    // there is none; AddOrUpdateEvent never creates a device record.
    void AddOrUpdateEvent(EDeviceType type, int32_t buttonId, ELaunchType launchType,
                          std::optional<std::string_view> launchArg);
    void RemoveEvent(EDeviceType type, int32_t buttonId);
    void RemoveAllEvents(EDeviceType type);
    const AEvent* GetEvent(EDeviceType type, int32_t buttonId) const;
    AEvent* GetEvent(EDeviceType type, int32_t buttonId);

    // Names as in the file, compared without regard to letter case; an
    // unknown or absent name gives 0, a value outside the table the name of 0.
    static EDeviceType ToDeviceType(std::optional<std::string_view> name);
    static ELaunchType ToLaunchType(std::optional<std::string_view> name);
    static std::string FromDeviceType(EDeviceType type);
    static std::string FromLaunchType(ELaunchType type);
    // The value in decimal, as "%d" writes it.
    static std::string FromInt(int32_t value);

    // $XDG_CONFIG_HOME/Nuvexa/mapping.xml, creating the folders when missing.
    static std::string GetDefaultXmlPath();
    const std::string& GetXmlPath() const { return fXmlPath; }
    // Replaces the records by the file's; a missing file gives an empty store.
    void Load();
    // Replaces the file by the records, atomically.
    void FlushXml();

private:
    void InitXml(bool read);
    void ReleaseXml();
    void ReadDevices();
    void WriteDevices();

    std::string fXmlPath;
    std::unique_ptr<pugi::xml_document> fXmlDocument;  // held only during Load and FlushXml
    std::map<EDeviceType, ADevice> fDevices;
};
