#pragma once

// Routes the libraries' message boxes (FenmarlCommonDLL::platform::showMessageBox)
// to QMessageBox. On the offscreen platform nobody could answer, so the text
// goes to stderr and the default answer is taken.
void installGuiMessageBoxHandler();
