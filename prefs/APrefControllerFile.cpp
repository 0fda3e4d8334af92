// The store's file operations: where "mapping.xml" lives, reading it into the
// records and writing the records back.

#include "prefs/AException.h"
#include "prefs/ALeadingInteger.h"
#include "prefs/AMappingFile.h"
#include "prefs/APrefController.h"

#include <pugixml.hpp>

#include <cerrno>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kStoreErrorName = "PrefController";
constexpr const char* kParserErrorName = "XMLParser";
constexpr const char* kFolderName = "Nuvexa";
constexpr const char* kFileName = "mapping.xml";

// The user's configuration folder as XDG defines it: $XDG_CONFIG_HOME when it
// is an absolute path, else .config in the home folder ($HOME, or the
// password database when HOME is unset). Empty when there is no home at all.
std::filesystem::path ConfigHome()
{
    const char* configHome = getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/')
        return configHome;

    const char* home = getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::filesystem::path(home) / ".config";

    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] != '\0')
        return std::filesystem::path(found->pw_dir) / ".config";
    return {};
}

bool IsFolder(const std::filesystem::path& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Creates the folder and any missing parents with mode 0700, as XDG asks of
// the configuration folder. Failures show up when the store's own folder is
// made inside it.
void CreateFolders(const std::filesystem::path& folder)
{
    std::filesystem::path partial;
    for (const std::filesystem::path& component : folder) {
        partial /= component;
        if (!IsFolder(partial))
            mkdir(partial.c_str(), 0700);
    }
}

// Collects the serialised document.
class AStringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { fText.append(static_cast<const char*>(data), size); }
    std::string fText;
};

// Missing attributes read as the empty text, so as 0 or "".
std::string_view AttributeText(const pugi::xml_node& element, const char* name)
{
    return element.attribute(name).value();
}

void AddAttribute(pugi::xml_node& element, const char* name, const std::string& value)
{
    element.append_attribute(name).set_value(value.c_str(), value.size());
}

} // namespace

APrefController::APrefController() : APrefController(GetDefaultXmlPath()) {}

APrefController::APrefController(std::string xmlPath) : fXmlPath(std::move(xmlPath))
{
    Load();
}

APrefController::~APrefController() = default;

std::string APrefController::GetDefaultXmlPath()
{
    const std::filesystem::path configHome = ConfigHome();
    if (configHome.empty())
        throw AException(kStoreErrorName, "Could not locate config file");
    if (!IsFolder(configHome))
        CreateFolders(configHome);

    const std::filesystem::path folder = configHome / kFolderName;
    // A folder made by another process between the test and mkdir is as good.
    if (!IsFolder(folder) && mkdir(folder.c_str(), 0777) != 0 && !(errno == EEXIST && IsFolder(folder)))
        throw AException(kStoreErrorName, "Could not locate config file");
    return (folder / kFileName).string();
}

void APrefController::Load()
{
    ClearDevices();
    InitXml(AMappingFile(fXmlPath).Exists());
    ReadDevices();
    ReleaseXml();
}

void APrefController::FlushXml()
{
    InitXml(false);
    WriteDevices();

    AStringWriter text;
    fXmlDocument->save(text, "    ", pugi::format_indent | pugi::format_no_empty_element_tags, pugi::encoding_utf8);
    ReleaseXml();

    if (!AMappingFile(fXmlPath).Replace(text.fText))
        throw AException(kStoreErrorName, "Error saving preferences");
}

void APrefController::InitXml(bool read)
{
    ReleaseXml();
    auto document = std::make_unique<pugi::xml_document>();
    if (!read) {
        document->append_child("devices");
        fXmlDocument = std::move(document);
        return;
    }

    std::optional<std::string> bytes = AMappingFile(fXmlPath).Read();
    if (!bytes)
        throw AException(kStoreErrorName, "Error loading preferences");
    pugi::xml_parse_result result =
        document->load_buffer(bytes->data(), bytes->size(), pugi::parse_default, pugi::encoding_auto);
    // No root element means no document at all (an empty file, plain text);
    // a document the parser stopped in is the parser's error.
    if (!document->document_element())
        throw AException(kStoreErrorName, "Error loading preferences");
    if (!result)
        throw AException(kParserErrorName, result.description());
    fXmlDocument = std::move(document);
}

void APrefController::ReleaseXml()
{
    fXmlDocument.reset();
}

void APrefController::ReadDevices()
{
    const pugi::xml_node root = fXmlDocument->document_element();
    for (pugi::xml_node element = root.first_child(); element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element)
            continue;
        ADevice device;
        device.SetDeviceType(ToDeviceType(AttributeText(element, "device_type")));
        // The identifiers are written through the signed format; reading
        // them back through it restores the same 32 bits.
        device.SetDeviceVID(static_cast<uint32_t>(ReadLeadingInteger(AttributeText(element, "vid"))));
        device.SetDevicePID(static_cast<uint32_t>(ReadLeadingInteger(AttributeText(element, "pid"))));
        device.SetPresentationType(ReadLeadingInteger(AttributeText(element, "presentation_type")));

        for (pugi::xml_node event = element.first_child(); event; event = event.next_sibling()) {
            if (event.type() != pugi::node_element)
                continue;
            device.AddOrUpdateEvent(ReadLeadingInteger(AttributeText(event, "id")),
                                    ToLaunchType(AttributeText(event, "launch_type")),
                                    AttributeText(event, "launch_arg"));
        }
        const EDeviceType type = device.GetDeviceType();
        fDevices.insert_or_assign(type, std::move(device));
    }
}

void APrefController::WriteDevices()
{
    pugi::xml_node declaration = fXmlDocument->prepend_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");

    pugi::xml_node root = fXmlDocument->document_element();
    for (const auto& [type, device] : fDevices) {
        pugi::xml_node element = root.append_child("device");
        AddAttribute(element, "device_type", FromDeviceType(device.GetDeviceType()));
        AddAttribute(element, "vid", FromInt(static_cast<int32_t>(device.GetDeviceVID())));
        AddAttribute(element, "pid", FromInt(static_cast<int32_t>(device.GetDevicePID())));
        AddAttribute(element, "presentation_type", FromInt(device.GetPresentationType()));
        for (const auto& [buttonId, event] : device.GetEvents()) {
            pugi::xml_node child = element.append_child("event");
            AddAttribute(child, "id", FromInt(event.GetButtonId()));
            AddAttribute(child, "launch_type", FromLaunchType(event.GetLaunchType()));
            AddAttribute(child, "launch_arg", event.GetLaunchArg());
        }
    }
}
