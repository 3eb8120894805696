#pragma once

#include <QIcon>
#include <QString>

namespace olvex {

// Pictures of the list image strip, shared by the page and operator lists.
enum ListImageIndex {
    kImageOperator = 0,       // grey person: a row before any status is applied
    kImageOperatorOnline = 1, // coloured person
    kImageOperatorBusy = 2,   // person with a prohibition sign: busy or away
    kImagePage = 3,           // text page
    kImagePageInvited = 4,    // text page with a clock: an invitation was sent
    kImageFolder = 5,
    kImageNote = 6,
    kListImageCount = 7,
};

// Makes the program's compiled-in resources available; safe to call more than once.
void InitConsoleResources();

// The program icon, in colour, or greyed while not connected.
QIcon ProgramIcon(bool connected = true);
QIcon ListImage(int index);
// 0 online, 1 busy, 2 away.
QIcon StatusMenuImage(int index);
// A toolbar or side-bar picture by name ("login", "visitors", ...).
QIcon ButtonImage(const QString& name);

} // namespace olvex
