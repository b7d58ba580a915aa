#pragma once

// Registers the compiled-in images and style sheets; safe to call more than once.
void koInitUiResources();
