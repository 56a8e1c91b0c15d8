#include "cli/codec/container.h"

#include "swfff/little_endian.h"

namespace {

struct KnownContainer {
    Container container;
    std::string_view signature;
};

constexpr KnownContainer kKnownContainers[] = {
    {Container::Fws, "FWS"},
    {Container::Cws, "CWS"},
    {Container::Zws, "ZWS"},
};

}  // namespace

Container ContainerOf(const std::uint8_t* bytes, std::size_t count) {
    if (count < 3) {
        return Container::None;
    }
    const std::string_view signature(reinterpret_cast<const char*>(bytes), 3);
    for (const KnownContainer& known : kKnownContainers) {
        if (known.signature == signature) {
            return known.container;
        }
    }
    return Container::None;
}

std::optional<std::string_view> ContainerSignature(Container container) {
    for (const KnownContainer& known : kKnownContainers) {
        if (known.container == container) {
            return known.signature;
        }
    }
    return std::nullopt;
}

MovieHead ParseMovieHead(const std::uint8_t* bytes, std::size_t count) {
    MovieHead head;
    head.container = ContainerOf(bytes, count);
    if (head.container == Container::None) {
        return head;
    }
    if (count > 3) {
        head.version = bytes[3];
    }
    if (count >= kMovieHeadBytes) {
        head.declaredLength = LittleU32(bytes + 4);
    }
    return head;
}
