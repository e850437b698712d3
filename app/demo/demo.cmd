@echo off
rem Tries QDX-Update without a device: writes the four sample update files into
rem this folder and starts QDX-Update here, beside the simulated QDX140.dll.
rem QDX140_SIM picks a scenario of the simulated device (see the guide), e.g.
rem   set QDX140_SIM=old-bootloader
setlocal
cd /d "%~dp0"
copy /y "..\QDX-Update.exe" "QDX-Update.exe" >nul
if errorlevel 1 goto failed
qdx-samples.exe . >nul
if errorlevel 1 goto failed
start "" "QDX-Update.exe"
exit /b 0
:failed
echo The demo could not be prepared in %~dp0 (is the folder writable?)
exit /b 1
