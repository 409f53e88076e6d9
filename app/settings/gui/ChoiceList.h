#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QRadioButton>
#include <QString>

#include <string>
#include <vector>

// A drop-down list of the settings' fixed choices, in their order, so an
// index into the list is an index into `items`.
inline QComboBox* choiceList(const std::vector<std::string>& items, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    for (const auto& item : items)
        list->addItem(QString::fromStdString(item));
    return list;
}

// The digital filter choice, "None" (id 0) and "Low Pass" (id 1), as the first
// rows of a filtering box; the group belongs to `owner`.
inline QButtonGroup* filterChoice(QFormLayout* form, QWidget* box, QObject* owner)
{
    auto* group = new QButtonGroup(owner);
    auto* none = new QRadioButton(QObject::tr("None"), box);
    auto* lowPass = new QRadioButton(QObject::tr("Low Pass"), box);
    group->addButton(none, 0);
    group->addButton(lowPass, 1);
    form->addRow(none);
    form->addRow(lowPass);
    return group;
}
