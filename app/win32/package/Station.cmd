@echo off
rem Ramtune station: one unit per network adapter of this PC at once.
rem It runs in this folder, where the logs are written and the tool folder is.
cd /d "%~dp0"
start "" "%~dp0QARV LM-7210A_LM-7210B DDR Configuration Upgrade Tool\Ramtune.exe" /all
