// Config.xml through the real TinyXML, and the alpha values as Clean reads them.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "Config.h"
#include "Conversions.h"
#include "TestSupport.h"

namespace {

ConfigStore LoadConfigText(const char* xml) {
    TempDir dir;
    if (xml) {
        const std::string text = xml;
        WriteFileBytes(dir.Path("Config.xml"), Bytes(text.begin(), text.end()));
    }
    FakePlatform platform;
    platform.dataPath = "C:\\Games\\Skyrim\\Data\\";
    ConfigStore config;
    loadConfig(config, platform, dir.Path("Config.xml").string());
    return config;
}

}  // namespace

TEST(LoadConfig, FallsBackSilentlyAndReadsWhatIsThere) {
    struct Case {
        const char* what;
        const char* xml;
        const char* library;  // nullptr: key absent
        const char* testMode;
        const char* flags;
        const char* threshold;
    };
    const Case cases[] = {
        {"no file", nullptr, nullptr, nullptr, nullptr, nullptr},
        {"not well-formed", "<PellmarConfig><TestMode>true</PellmarConfig>", nullptr, nullptr,
         nullptr, nullptr},
        {"another root", "<PellmarConfiguration><TestMode>true</TestMode></PellmarConfiguration>",
         nullptr, nullptr, nullptr, nullptr},
        {"empty root", "<PellmarConfig/>", "ShaderLibrary.nif", "false", nullptr, nullptr},
        {"names differing in case",
         "<PellmarConfig><testmode>true</testmode><shaderLibraryFile>x</shaderLibraryFile>"
         "</PellmarConfig>",
         "ShaderLibrary.nif", "false", nullptr, nullptr},
        {"duplicates: the first counts",
         "<PellmarConfig><ShaderLibraryFile>a.nif</ShaderLibraryFile>"
         "<ShaderLibraryFile>b.nif</ShaderLibraryFile><TestMode>True</TestMode>"
         "</PellmarConfig>",
         "a.nif", "True", nullptr, nullptr},
        {"elements without text",
         "<PellmarConfig><ShaderLibraryFile/><TestMode><!-- off --></TestMode>"
         "<AlphaThreshold></AlphaThreshold></PellmarConfig>",
         "", "", nullptr, ""},
        {"every element",
         "<?xml version=\"1.0\"?><PellmarConfig><AlphaFlagsValue>4845</AlphaFlagsValue>"
         "<AlphaThreshold>abc</AlphaThreshold><TestMode>true</TestMode>"
         "<ShaderLibraryFile>lib\\s.nif</ShaderLibraryFile></PellmarConfig>",
         "lib\\s.nif", "true", "4845", "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigStore config = LoadConfigText(c.xml);
        EXPECT_EQ(config.get(kSkyrimDataPath), "C:\\Games\\Skyrim\\Data\\");
        auto expect = [&](const char* key, const char* value) {
            EXPECT_EQ(config.contains(key), value != nullptr) << key;
            if (value) {
                EXPECT_EQ(config.get(key), value) << key;
            }
        };
        expect(kShaderLibraryFile, c.library);
        expect(kTestMode, c.testMode);
        expect(kAlphaFlagsValue, c.flags);
        expect(kAlphaThreshold, c.threshold);
    }
}

TEST(LoadConfig, AFolderInPlaceOfTheFileFallsBackWithoutOpeningIt) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path("Config.xml"));
    FakePlatform platform;
    ConfigStore config;
    loadConfig(config, platform, dir.Path("Config.xml").string());
    EXPECT_FALSE(config.contains(kShaderLibraryFile));
    EXPECT_FALSE(config.contains(kTestMode));
}

TEST(AlphaSettings, ParsedLikeAtoiKeepingTheLowBits) {
    struct Case {
        const char* flags;
        const char* threshold;
        uint16_t expectedFlags;
        uint8_t expectedThreshold;
    };
    const Case cases[] = {{nullptr, nullptr, 4844, 128},
                          {"4845", "300", 4845, 44},
                          {"abc", "", 0, 0},
                          {"-1", "12xyz", 65535, 12},
                          {" 77", "-1", 77, 255}};
    for (const Case& c : cases) {
        const std::string flags = c.flags ? c.flags : "",
                          threshold = c.threshold ? c.threshold : "";
        const AlphaSettings a =
            ParseAlphaSettings(c.flags ? &flags : nullptr, c.threshold ? &threshold : nullptr);
        EXPECT_EQ(a.flags, c.expectedFlags) << (c.flags ? c.flags : "none");
        EXPECT_EQ(a.threshold, c.expectedThreshold);
    }
}
