#include "backend.h"

namespace d2xx {

namespace {

class TVirtualBackend : public TBackend {
public:
    explicit TVirtualBackend(std::shared_ptr<TVirtualDevice> device) : Dev(std::move(device)) {}

    bool Write(const uint8_t* data, size_t n) override {
        if (!Dev->Connected()) return false;
        Dev->HostWrite(data, n);
        return true;
    }
    bool Fill(TRxQueue& rx) override {
        Scratch.clear();
        Dev->Collect(Scratch);
        rx.Append(Scratch.data(), Scratch.size());
        return Dev->Connected();
    }
    bool Purge(uint32_t) override { return Dev->Connected(); }
    bool SetUSBParameters(uint32_t, uint32_t) override { return Dev->Connected(); }

private:
    std::shared_ptr<TVirtualDevice> Dev;
    std::string Scratch;
};

} // namespace

std::unique_ptr<TBackend> OpenVirtualBackend(std::shared_ptr<TVirtualDevice> device) {
    if (!device || !device->Connected()) return nullptr;
    return std::make_unique<TVirtualBackend>(std::move(device));
}

} // namespace d2xx
