// All settings of a run: an ordered map from key to value, both 8-bit text.
#pragma once

#include <map>
#include <string>

class ConfigStore {
  public:
    // Lookup with insertion: a missing key is first inserted with an empty value.
    std::string& get(const std::string& key) { return values_[key]; }
    // Lookup without insertion.
    bool contains(const std::string& key) const { return values_.count(key) != 0; }
    void set(const std::string& key, const std::string& value) { get(key) = value; }
    const std::map<std::string, std::string>& values() const { return values_; }

  private:
    std::map<std::string, std::string> values_;
};

// The keys.
inline constexpr const char* kSkyrimDataPath = "SkyrimDataPath";
inline constexpr const char* kShaderLibraryFile = "ShaderLibraryFile";
inline constexpr const char* kAlphaFlagsValue = "AlphaFlagsValue";
inline constexpr const char* kAlphaThreshold = "AlphaThreshold";
inline constexpr const char* kTestMode = "TestMode";
inline constexpr const char* kInputNifFileName = "InputNifFileName";
