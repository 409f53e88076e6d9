#pragma once

#include "app/graphs/ChartControl.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

// Keeps each scan window graph's nine display settings between sessions:
// one 40-byte file per graph under the per-user data folder, plus a marker
// file in the working folder saying the per-graph files have been written.
class GraphSettingsStore
{
public:
    static constexpr std::uint32_t magic = 62091;
    static constexpr std::size_t fileSize = 40;
    // The property each slot of the file stands for, in file order.
    static constexpr std::array<int, ChartControl::displaySettingCount> propertyIds{
        2230, 2703, 2672, 2943, 2435, 2666, 3090, 2240, 3215};
    static constexpr std::array<const char*, 4> graphNames{"TopTime", "TopFrequency", "BottomTime",
                                                           "BottomFrequency"};
    static constexpr const char* markerFileName = "GraphSettings.bin";

    using Values = std::array<int, ChartControl::displaySettingCount>;

    // One graph as the store sees it: its chart (null when the pane has none)
    // and the settings file it was last loaded from or saved to.
    struct Graph
    {
        ChartControl* chart = nullptr;
        std::filesystem::path rememberedPath;
    };

    // <application data>/Tesselon/Tesselon_GraphSettings_2024_<name>.bin
    static std::filesystem::path settingsPath(const std::string& graphName);

    static std::array<std::uint8_t, fileSize> encode(const Values& values);
    // Overwrites values with what the bytes hold. A wrong magic or a file too
    // short for it leaves every value alone; a file that ends early sets the
    // values before its end. Returns how many values were taken.
    static int decode(const std::uint8_t* data, std::size_t size, Values& values);

    static Values currentValues(const ChartControl& chart);

    // Writes the graph's current values to its file and remembers the path.
    // Nothing is written when the folder does not exist.
    static bool saveGraph(Graph& graph, const std::string& name);
    // The single-graph save after a settings change; nothing without a remembered path.
    static bool saveToRememberedPath(Graph& graph);
    // Remembers the path and applies the file's values over the chart's current ones.
    // Returns whether the file was taken.
    static bool loadGraph(Graph& graph, const std::string& name);
    // "Reset Graph Settings": defaults, redraw, and the save to the remembered path.
    static void resetGraph(Graph& graph);

    // Storing a document or the marker: the fixed block, then the graph's own file.
    static void storeGraph(Graph& graph, const std::string& name, std::ostream& archive);

    // Called after each graph is saved by saveAll (index 0..3), so the caller
    // can copy the bottom graphs' titles into its defaults.
    using AfterSave = std::function<void(int index, Graph& graph)>;

    // Writes the marker file (one fixed block per existing graph) and every graph's file.
    // The graph files are saved even when the marker cannot be written.
    static bool saveAll(std::array<Graph*, 4> graphs, const std::filesystem::path& markerPath,
                        const AfterSave& afterSave = {});
    // With a marker: each graph loads its own file. Without one (a first start):
    // saveAll instead. Returns true when settings were loaded.
    static bool loadAll(std::array<Graph*, 4> graphs, const std::filesystem::path& markerPath,
                        const AfterSave& afterSave = {});
};
