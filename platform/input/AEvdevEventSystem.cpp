#include "platform/input/AEvdevEventSystem.h"

#include "platform/input/AUinputKeyboard.h"

std::unique_ptr<AEventSystemConnection> AEvdevEventSystem::Open(const std::filesystem::path& uinputPath)
{
    const std::vector<uint16_t> keys = ANXEventTranslator::EmittedKeyCodes();
    std::unique_ptr<AUinputKeyboard> keyboard = AUinputKeyboard::Create(keys, uinputPath);
    if (!keyboard)
        return nullptr;
    return std::make_unique<AEvdevEventSystem>(std::move(keyboard));
}

AEvdevEventSystem::AEvdevEventSystem(std::unique_ptr<AVirtualKeyboard> keyboard) : fKeyboard(std::move(keyboard))
{
    fEvents.reserve(32);
}

AEvdevEventSystem::~AEvdevEventSystem()
{
    fEvents.clear();
    fTranslator.ReleaseAll(fEvents);
    // Nothing to do about a failed write here: the keyboard is destroyed
    // next, and the kernel releases whatever it still holds.
    if (!fEvents.empty())
        fKeyboard->Emit(fEvents);
}

bool AEvdevEventSystem::PostEvent(uint32_t eventType, const ANXEventData& data, uint32_t dataVersion,
                                  uint32_t eventFlags, uint32_t /*options*/)
{
    if (dataVersion != kNXEventDataVersion)
        return false;
    fEvents.clear();
    fTranslator.Translate(eventType, data, eventFlags, fEvents);
    return fEvents.empty() || fKeyboard->Emit(fEvents);
}
