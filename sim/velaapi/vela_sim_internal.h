// Hooks between the parts of the simulated device library that the control surface drives.
#pragma once

namespace velasim {

// Closes every recorder and its file (VelaSim_Reset).
void CloseAllRecorders();

} // namespace velasim
