#pragma once
// The folder walk shared by the folder scan, folder drops and the console program.
