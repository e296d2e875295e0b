#include "platform/linux/screen/WaylandOutputs.h"

#include <wayland-client.h>

#include <cstring>
#include <memory>

namespace {

struct TOutput {
    wl_output* output = nullptr;
    TWaylandOutput seen;
    bool turned = false;  // a quarter turn: width and height swap
};

void Geometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
              const char*, int32_t transform) {
    static_cast<TOutput*>(data)->turned = transform % 2 == 1;
}

void Mode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        static_cast<TOutput*>(data)->seen.width = width;
        static_cast<TOutput*>(data)->seen.height = height;
    }
}

void Done(void*, wl_output*) {}
void Scale(void*, wl_output*, int32_t) {}

void Name(void* data, wl_output*, const char* name) {
    static_cast<TOutput*>(data)->seen.name = name ? name : "";
}

void Description(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener{Geometry, Mode, Done, Scale, Name, Description};

void Global(void* data, wl_registry* registry, uint32_t id, const char* interface,
            uint32_t version) {
    if (std::strcmp(interface, wl_output_interface.name) != 0) {
        return;
    }
    auto& outputs = *static_cast<std::vector<std::unique_ptr<TOutput>>*>(data);
    auto output = std::make_unique<TOutput>();
    const uint32_t bound = version < 4 ? version : 4;
    output->output =
        static_cast<wl_output*>(wl_registry_bind(registry, id, &wl_output_interface, bound));
    if (!output->output) {
        return;
    }
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    outputs.push_back(std::move(output));
}

void GlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener{Global, GlobalRemove};

}  // namespace

std::vector<TWaylandOutput> ReadWaylandOutputs() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return {};
    }
    std::vector<std::unique_ptr<TOutput>> outputs;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &outputs);
    // The first round trip lists the outputs, the second brings their modes.
    const bool read = wl_display_roundtrip(display) >= 0 && wl_display_roundtrip(display) >= 0;
    std::vector<TWaylandOutput> found;
    for (const auto& output : outputs) {
        TWaylandOutput seen = output->seen;
        if (output->turned) {
            std::swap(seen.width, seen.height);
        }
        if (read && seen.width > 0 && seen.height > 0) {
            found.push_back(seen);
        }
        wl_output_destroy(output->output);
    }
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return found;
}

std::optional<TWaylandOutput> FindWaylandOutput(const std::vector<TWaylandOutput>& outputs,
                                                const std::string& name) {
    for (const TWaylandOutput& output : outputs) {
        if (!name.empty() && output.name == name) {
            return output;
        }
    }
    if (outputs.size() == 1) {
        return outputs.front();
    }
    return std::nullopt;
}
