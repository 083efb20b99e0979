// The dialog filter text of TnoxShellFilterArray in the form of Qt's file
// dialogs, and shell type names from the MIME database.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

// "Images|*.bmp;*.png|Any file|*.*" -> {"Images (*.bmp *.BMP *.png *.PNG)", "Any file (*)"}.
// Patterns are given in both letter cases (Linux names are case-sensitive),
// "*.*" means any file, and a description that already ends in its pattern in
// brackets gets the Qt pattern list there instead. Entries keep their order,
// so the index of a chosen filter is its index in the array.
QStringList FilterToQtNameFilters(const std::string& AFilter);
// The same joined with ";;" for QFileDialog::getOpenFileName and friends.
QString FilterToQtFilterString(const std::string& AFilter);

// Lets TnoxShellFilterArray describe extensions with the MIME type comments.
void InstallMimeTypeNameProvider();
