#include "app/shell/CommandRules.h"

#include <gtest/gtest.h>

#include <set>

namespace Id = CommandRules::Id;
using CommandRules::Enabled;
using CommandRules::Facts;

namespace {

Facts idleWithInstrumentAndDocument()
{
    Facts f;
    f.control = true;
    f.instrumentOpen = true;
    f.activeWindow = true;
    f.anyWindow = true;
    f.document = true;
    f.recentFiles = 2;
    return f;
}

} // namespace

TEST(CommandRulesTest, TheTableNamesEachCommandOnceAndRefusesIdsItDoesNotKnow)
{
    std::set<int> ids;
    for (const CommandRules::Rule& rule : CommandRules::Table()) {
        EXPECT_TRUE(ids.insert(rule.id).second) << rule.name << " twice";
        EXPECT_NE(rule.enabled, nullptr) << rule.name;
    }
    for (int i = 0; i < Id::RecentFileCount; ++i)
        EXPECT_TRUE(ids.count(Id::FileMruFirst + i)) << "recent file " << i;
    EXPECT_EQ(CommandRules::Find(12345), nullptr);
    EXPECT_FALSE(Enabled(12345, idleWithInstrumentAndDocument()));
}

TEST(CommandRulesTest, ARunningScanLocksTheCommandsThatWouldDisturbIt)
{
    Facts f = idleWithInstrumentAndDocument();
    for (int id : {Id::Configure, Id::Run, Id::PostProcess, Id::FileClose, Id::CloseAll, Id::FileMruFirst,
                   Id::FileSaveAs, Id::ExportData, Id::DataSettings})
        EXPECT_TRUE(Enabled(id, f)) << id;
    EXPECT_FALSE(Enabled(Id::DetectInstruments, f)) << "an instrument is open";
    EXPECT_FALSE(Enabled(Id::Stop, f));

    f.scanActive = true;
    f.documentBeingScanned = true;
    for (int id : {Id::Configure, Id::Run, Id::PostProcess, Id::FileClose, Id::CloseAll, Id::FileMruFirst,
                   Id::FileSaveAs, Id::ExportData, Id::ExportCsv, Id::ExportWav, Id::CopyData, Id::DataSettings,
                   Id::DetectInstruments})
        EXPECT_FALSE(Enabled(id, f)) << id;
    EXPECT_FALSE(Enabled(Id::Stop, f)) << "not in the first 5 s";
    f.stopEnabled = true;
    EXPECT_TRUE(Enabled(Id::Stop, f));
    // Viewing and printing the scan's graphs goes on.
    for (int id : {Id::FilePrint, Id::ExportGraphics, Id::CopyGraphics, Id::Properties, Id::WindowTopTime,
                   Id::AppAbout, Id::AppExit})
        EXPECT_TRUE(Enabled(id, f)) << id;
    // Another, finished document can still be exported while the scan runs.
    f.documentBeingScanned = false;
    EXPECT_TRUE(Enabled(Id::ExportData, f));

    // Mute only while a scan runs with the alert on.
    EXPECT_FALSE(Enabled(Id::Mute, f));
    f.audioAlert = true;
    EXPECT_TRUE(Enabled(Id::Mute, f));
    f.scanActive = false;
    EXPECT_FALSE(Enabled(Id::Mute, f));
}

TEST(CommandRulesTest, WithoutAScanControlOnlyTheWindowCommandsAreOffered)
{
    Facts f;
    f.activeWindow = true;
    f.anyWindow = true;
    f.document = true;
    f.instrumentOpen = true;
    for (int id : {Id::FileNew, Id::FileOpen, Id::Configure, Id::Run, Id::DetectInstruments, Id::Properties,
                   Id::ExportData, Id::PostProcess})
        EXPECT_FALSE(Enabled(id, f)) << id;
    for (int id : {Id::FilePrint, Id::FileClose, Id::CloseAll, Id::WindowCascade, Id::ShowDebugWindow})
        EXPECT_TRUE(Enabled(id, f)) << id;

    f.recentFiles = 1;
    EXPECT_TRUE(Enabled(Id::FileMruFirst, f));
    EXPECT_FALSE(Enabled(Id::FileMruFirst + 1, f)) << "no second file";
    f.activeWindow = f.anyWindow = false;
    EXPECT_FALSE(Enabled(Id::FilePrint, f));
    EXPECT_FALSE(Enabled(Id::CloseAll, f));
}
