@echo off
rem The Zentravo lab: a console in this folder, where zt-sim runs by its name.
rem Double-click it (or type its name in any console); close the window when done.
cd /d "%~dp0"
title Zentravo lab
zt-sim --version
echo.
echo Type zt-sim --help for every option, or see step 7 of QUICKSTART.txt.
echo Ctrl-C stops a run; what it ran so far is kept.
echo.
cmd /k
