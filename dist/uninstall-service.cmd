@echo off
rem Stops and removes the service LMRAPISVC and deletes its installation
rem settings from the 32-bit registry view.  Run it from an elevated command
rem prompt.  The server's own files (config.ini, pw.fil, the installation
rem folder) are left as they are.
rem
rem   uninstall-service.cmd
setlocal EnableExtensions
set "SERVICE=LMRAPISVC"
set "KEY=HKLM\Software\Lumora\Tavrin"

if not [%1]==[] (
    echo uninstall-service: takes no arguments
    echo usage: uninstall-service.cmd
    exit /b 1
)

set "RESULT=0"
sc query %SERVICE% >nul 2>&1
if errorlevel 1 (
    echo uninstall-service: the service %SERVICE% is not installed
) else (
    rem A running service asks its server to stop before it goes.
    net stop %SERVICE% >nul 2>&1
    sc delete %SERVICE% >nul
    if errorlevel 1 (
        echo uninstall-service: sc delete %SERVICE% failed; is this prompt elevated?
        set "RESULT=1"
    ) else (
        echo Service %SERVICE% removed.
    )
)

reg query "%KEY%" /reg:32 >nul 2>&1
if errorlevel 1 (
    echo uninstall-service: no settings under %KEY%
) else (
    reg delete "%KEY%" /f /reg:32 >nul
    if errorlevel 1 (
        echo uninstall-service: deleting %KEY% failed
        set "RESULT=1"
    ) else (
        echo Settings %KEY% removed.
    )
)
exit /b %RESULT%
