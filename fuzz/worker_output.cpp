// The application's reading of the worker's standard output: bytes in reads of any size,
// framed into lines, each line decoded and applied to the proof model.
#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/model/proof_model.hpp"
#include "app/model/worker_output.hpp"

namespace {

// The model reads and writes its settings under the home folder: a private one.
void private_home() {
    static QTemporaryDir home;
    if (!home.isValid()) std::abort();
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toUtf8());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    private_home();
    static const std::unique_ptr<QCoreApplication> application = std::make_unique<QCoreApplication>(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The read sizes come from the input's end, the bytes from its front, so that a seed of
    // plain worker output is mostly read as such.
    FuzzedDataProvider provider(data, size);
    std::vector<std::string> reads;
    std::string whole;
    while (provider.remaining_bytes() > 0) {
        const std::size_t length = provider.ConsumeIntegralInRange<std::size_t>(0, 256);
        reads.push_back(provider.ConsumeBytesAsString(length));
        whole += reads.back();
    }

    tesmira::app::ProofModel model;
    tesmira::app::WorkerOutput output;
    std::vector<tesmira::Json> events;
    for (const std::string& bytes : reads) {
        for (tesmira::Json& event : output.take(bytes)) {
            model.receive(event);
            events.push_back(std::move(event));
        }
    }
    // However the bytes arrive, the lines and their events are the same.
    tesmira::app::WorkerOutput at_once;
    if (at_once.take(whole) != events) std::abort();
    return 0;
}
