#include "testsupport/QtTestApp.h"
#include "app/specification/gui/CSpecificationPage.h"
#include "app/specification/SpecificationRules.h"
#include "common/platform/MessageBoxCodes.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace {

namespace hooks = FenmarlCommonDLL::platform;
namespace S = SpecificationRules;

class SpecificationPageTest : public QtBoxTest
{
protected:
    void addRows(CSpecificationPage& page, int input,
                 const std::vector<std::pair<const char*, const char*>>& rows)
    {
        for (const auto& [f, v] : rows) {
            page.frequencyEntry[input]->setText(f);
            page.intensityEntry[input]->setText(v);
            ASSERT_TRUE(page.addRow(input)) << f;
        }
    }
};

TEST_F(SpecificationPageTest, PageRefusesBadCurvesAndStoresTheShownDigits)
{
    CSpecificationPage page;
    page.setInputs(true, true, "Magnetometer", "Accelerometer");
    EXPECT_EQ(page.excursionUnit[0]->text(), "Maximum Excursion / uT");
    EXPECT_EQ(page.intensityUnit[1]->text(), "Intensity / g");
    page.applyFrequency[0]->setChecked(true);
    addRows(page, 0, {{"10", "1"}, {"10", "2"}, {"10", "3"}});
    EXPECT_FALSE(page.validate());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], std::string("Invalid Frequency Curve|") + S::kTooFewFrequencies);
    EXPECT_EQ(flagsShown[0], hooks::MB_OK_ | hooks::MB_ICONEXCLAMATION_);

    page.clearRows(0);
    EXPECT_EQ(page.curveList[0]->topLevelItemCount(), 0);
    addRows(page, 0, {{"10", "1"}, {"20", "2"}, {"15", "3"}});
    EXPECT_FALSE(page.validate());
    EXPECT_EQ(boxes.back(), std::string("Invalid Frequency Curve|") + S::kDecreasingFrequencies);

    // Remove takes out the selected row only; rows stay in the order added.
    page.curveList[0]->setCurrentItem(page.curveList[0]->topLevelItem(2));
    page.removeSelectedRow(0);
    addRows(page, 0, {{"1234.5678", "0.000123456"}});
    ASSERT_EQ(page.curveList[0]->topLevelItemCount(), 3);
    EXPECT_EQ(page.curveList[0]->topLevelItem(2)->text(0), "1234.6");
    EXPECT_EQ(page.curveList[0]->topLevelItem(2)->text(1), "0.00012346");
    EXPECT_TRUE(page.validate());

    // A curve that is not applied is not checked.
    page.applyFrequency[1]->setChecked(false);
    addRows(page, 1, {{"5", "1"}});
    EXPECT_TRUE(page.validate());

    SpecificationSettings s;
    s.passedTime[0] = 0; // results are not page values
    page.store(s);
    ASSERT_EQ(s.curve[0].size(), 3u);
    EXPECT_DOUBLE_EQ(s.curve[0][2].frequency, 1234.6);
    EXPECT_DOUBLE_EQ(s.curve[0][2].intensity, 0.00012346);
    EXPECT_EQ(s.applyFrequencyTest[0], 1);
    ASSERT_EQ(s.curve[1].size(), 1u);
    EXPECT_EQ(s.passedTime[0], 0);
}

TEST_F(SpecificationPageTest, RangesAndEnablingFollowTheInputs)
{
    CSpecificationPage page;
    page.setInputs(true, false, "Accelerometer", "Accelerometer");
    EXPECT_FALSE(page.excursion[0]->isEnabled()); // apply check not set
    page.applyTime[0]->setChecked(true);
    EXPECT_TRUE(page.excursion[0]->isEnabled());
    page.applyTime[1]->setChecked(true);
    EXPECT_FALSE(page.excursion[1]->isEnabled()); // input 2 not in use
    for (QWidget* w : std::initializer_list<QWidget*>{page.applyFrequency[1], page.curveList[1],
                                                      page.addButton[1], page.clearButton[1]})
        EXPECT_FALSE(w->isEnabled());
    page.setInputs(false, true, "Accelerometer", "Microphone");
    EXPECT_FALSE(page.excursion[0]->isEnabled());
    EXPECT_TRUE(page.excursion[1]->isEnabled());
    EXPECT_FALSE(page.applyTime[0]->isEnabled());

    page.excursion[1]->setText("2e10");
    EXPECT_FALSE(page.validate());
    EXPECT_EQ(boxes.back(), "Tesselon-6|Please enter a number between 0 and 10000000000.");
    page.excursion[1]->setText("-1");
    EXPECT_FALSE(page.validate());
    page.excursion[1]->setText("1e10");
    EXPECT_TRUE(page.validate());
    page.frequencyEntry[1]->setText("abc");
    EXPECT_FALSE(page.addRow(1));
    EXPECT_EQ(boxes.back(), "Tesselon-6|Please enter a number.");
    EXPECT_EQ(page.curveList[1]->topLevelItemCount(), 0);
}

} // namespace

TEST_F(SpecificationPageTest, AnExcursionOrCurveLeftAloneKeepsItsStoredValuesExactly)
{
    SpecificationSettings stored;
    stored.maximumExcursion[0] = 1.234567;
    stored.maximumExcursion[1] = 0.1;
    stored.curve[0] = {{12.345678, 0.5}, {100.0, 1.0 / 3.0}};
    stored.curve[1] = {{5.0, 2.0}, {50.0, 2.0}};
    CSpecificationPage page;
    page.load(stored);
    EXPECT_EQ(page.excursion[0]->text(), "1.2346"); // five digits are shown
    SpecificationSettings out;
    page.store(out);
    EXPECT_EQ(out.maximumExcursion[0], 1.234567);
    EXPECT_EQ(out.curve[0], stored.curve[0]);

    // Edited: what is shown now is what is stored; the other input is untouched.
    page.excursion[0]->setText("2");
    addRows(page, 1, {{"60.123456", "2"}});
    page.store(out);
    EXPECT_EQ(out.maximumExcursion[0], 2.0);
    ASSERT_EQ(out.curve[1].size(), 3u);
    EXPECT_DOUBLE_EQ(out.curve[1][2].frequency, 60.123);
    EXPECT_EQ(out.curve[0], stored.curve[0]);
    EXPECT_EQ(out.maximumExcursion[1], 0.1);
}
namespace {

TEST_F(SpecificationPageTest, TheExcursionFieldSaysItsUnitAndTheGraphsWhenTheyDiffer)
{
    CSpecificationPage page;
    page.setInputs(true, true, "Accelerometer", "Magnetometer");
    page.setGraphUnits("ug", "uT");
    // Entered in g while the graph shows micro-g: both are said beside the field.
    EXPECT_EQ(page.excursionFieldUnit[0]->text(), "g (graph: ug)");
    EXPECT_EQ(page.excursionFieldUnit[1]->text(), "uT") << "same unit: said once";
    page.setInputs(true, true, "Microphone", "Magnetometer");
    EXPECT_EQ(page.excursionFieldUnit[0]->text(), "Pa (graph: ug)");
    page.setGraphUnits("Pa", "nT");
    EXPECT_EQ(page.excursionFieldUnit[0]->text(), "Pa");
    EXPECT_EQ(page.excursionFieldUnit[1]->text(), "uT (graph: nT)");
    page.setInputs(true, false, "Microphone", "Magnetometer");
    EXPECT_FALSE(page.excursionFieldUnit[1]->isEnabled()) << "unused input";
}

} // namespace
