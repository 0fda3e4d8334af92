#pragma once
// An event-system connection for tests: it records every PostEvent call
// (event type, the event data's bytes, data version, event flags, options)
// and answers true, or false after FailPosts(true) (every post) or
// FailPostsOfType(type) (posts of that event type). Failed calls are recorded
// too. Hand it to code under test as its AEventSystemPort:
//
//   ARecordingEventSystem connection;
//   { AHIDKeyboardAction keyboard(&connection); keyboard.PostKey(0); }
//   ASSERT_EQ(connection.Posts().size(), 3u);  // key down, key up, clearing
//   EXPECT_EQ(connection.Posts()[0].fType, NX_KEYDOWN);

#include "keys/AEventSystemConnection.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct APostedEvent {
    uint32_t fType;
    std::array<uint8_t, sizeof(ANXEventData)> fBytes;  // the event data as posted
    uint32_t fDataVersion;
    uint32_t fFlags;
    uint32_t fOptions;

    ANXEventData Data() const;  // the bytes read back as event data
    // True when every byte is 0 except those of [offset, offset + size).
    bool ZeroExcept(std::size_t offset, std::size_t size) const;
};

class ARecordingEventSystem : public AEventSystemConnection {
public:
    bool PostEvent(uint32_t eventType, const ANXEventData& data, uint32_t dataVersion, uint32_t eventFlags,
                   uint32_t options) override;

    const std::vector<APostedEvent>& Posts() const { return fPosts; }
    void Clear() { fPosts.clear(); }
    void FailPosts(bool fail) { fFailPosts = fail; }
    void FailPostsOfType(std::optional<uint32_t> eventType) { fFailedType = eventType; }

private:
    std::vector<APostedEvent> fPosts;
    bool fFailPosts = false;
    std::optional<uint32_t> fFailedType;
};
