// Writes the seed corpora of the fuzz targets: one folder per target under the folder
// named first, from the built-in controller profiles and the example scenarios (the
// folder named second).
//
//   fuzz_seeds OUTPUT_FOLDER SCENARIO_FOLDER
#include "fuzz/fuzz_registry.h"
#include "fuzz/fuzz_support.h"
#include "sdk/controller/vendor_cmd.h"
#include "sim/builders.h"
#include "sim/event_log.h"
#include "tools/scenario_file.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path output;

void Write(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::path folder = output / target;
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (folder / name).string());
}

std::string SeedName(const std::string& kind, size_t index) {
    std::string name = kind + "-" + std::to_string(index) + "-";
    for (char c : fuzz::Profiles()[index].name)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

void ControllerSeeds() {
    for (size_t k = 0; k < fuzz::Profiles().size(); ++k) {
        const auto controller = sim::MakeController(fuzz::Profiles()[k]);
        const sim::ControllerImage& image = controller->profile.image;
        for (uint8_t aspi : {0, 1}) {
            fuzz::FuzzWriter identify;
            identify.Byte(aspi);
            fuzz::WriteController(identify, k, image);
            Write("fuzz_identify", SeedName(aspi ? "aspi" : "pass-through", k), identify.bytes());

            fuzz::FuzzWriter block;
            block.Byte(aspi);
            block.Word(2048);
            block.Byte(0);
            fuzz::WriteController(block, k, image);
            Write("fuzz_info_block", SeedName(aspi ? "aspi" : "pass-through", k), block.bytes());
        }
        fuzz::FuzzWriter flash;
        flash.Word(kFlashInfoReplySize);
        flash.Dword(0xD8);
        fuzz::WriteController(flash, k, image);
        Write("fuzz_flash_identity", SeedName("record", k), flash.bytes());
    }
}

void ScanSeeds() {
    std::vector<std::vector<BYTE>> inquiries;
    for (const sim::ControllerProfile& profile : fuzz::Profiles())
        inquiries.push_back(sim::MakeController(profile)->profile.image.inquiry);
    inquiries.push_back(sim::InquiryData("GENERIC", "FLASH DISK", "1.00", {}));
    for (uint8_t aspi : {0, 1}) {
        // Every profile's INQUIRY data in turn, and a device of another maker among them.
        for (size_t first = 0; first < inquiries.size(); first += 4) {
            fuzz::FuzzWriter seed;
            seed.Byte(aspi);
            for (size_t k = first; k < first + 4 && k < inquiries.size(); ++k) {
                seed.Byte(0);
                seed.Bytes(inquiries[k]);
            }
            seed.Byte(0);
            seed.Bytes(inquiries.back());
            Write("fuzz_scan",
                  std::string(aspi ? "aspi-" : "pass-through-") + std::to_string(first),
                  seed.bytes());
        }
    }
}

void ScenarioSeeds(const fs::path& scenarios) {
    std::vector<fs::path> files;
    for (const fs::path& folder : {scenarios, scenarios / "malformed"})
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".json") files.push_back(entry.path());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> text((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        Write("fuzz_scenario",
              file.parent_path().filename().string() + "-" + file.filename().string(), text);

        // The Windows 98 and ME registry trees the scenarios describe.
        sim::Reset();
        std::ifstream again(file);
        scenario::LoadedScenario loaded;
        std::string error;
        if (!scenario::LoadScenario(again, sim::machine(), &loaded, &error)) continue;
        const sim::Machine& m = sim::machine();
        // The System log records the scenarios hold, as the event log service renders them.
        for (size_t k = 0; k < m.eventLog.system.size(); ++k) {
            std::string xml = sim::RenderEventXml(m, k);
            Write("fuzz_veto_event", file.stem().string() + "-" + std::to_string(k),
                  std::vector<uint8_t>(xml.begin(), xml.end()));
        }
        if (!m.registry.roots.count(HKEY_DYN_DATA)) continue;
        fuzz::FuzzWriter registry;
        int adapters = static_cast<int>(m.aspi.adapters.size() < 3 ? m.aspi.adapters.size() : 3);
        registry.Byte(static_cast<uint8_t>((m.version.minor == 90 ? 1 : 0) | adapters << 1));
        fuzz::WriteRegistry(registry, m.registry);
        Write("fuzz_registry", file.stem().string(), registry.bytes());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: fuzz_seeds OUTPUT_FOLDER SCENARIO_FOLDER\n";
        return 2;
    }
    output = argv[1];
    try {
        ControllerSeeds();
        ScanSeeds();
        ScenarioSeeds(argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "fuzz_seeds: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
