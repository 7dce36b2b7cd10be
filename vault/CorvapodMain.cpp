// Corvapod, the portable vault program, shipped as "CorvastineVault.exe".
#include <windows.h>

#include "VaultProgram.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    try {
        return corva::vault::RunVault(corva::SystemDrivePlatform());
    } catch (...) {
        return 1;
    }
}
