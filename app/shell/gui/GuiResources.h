#pragma once

// Registers the program's compiled-in resources (icon); safe to call repeatedly.
void initGuiResources();
