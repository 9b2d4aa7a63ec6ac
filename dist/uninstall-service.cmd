@echo off
rem Stops and removes the service LMRAPISVC and deletes its installation
rem settings from the 32-bit registry view (the 64-bit view when
rem TAVRIN_REG_VIEW=64, as for install-service.cmd).  Run it from an elevated
rem command prompt.  The server's own files (config.ini, pw.fil, the
rem installation folder) are left as they are.
rem
rem   uninstall-service.cmd
setlocal EnableExtensions
set "SERVICE=LMRAPISVC"
set "KEY=HKLM\Software\Lumora\Tavrin"
if not defined TAVRIN_REG_VIEW set "TAVRIN_REG_VIEW=32"
if not "%TAVRIN_REG_VIEW%"=="32" if not "%TAVRIN_REG_VIEW%"=="64" (
    echo uninstall-service: TAVRIN_REG_VIEW is "%TAVRIN_REG_VIEW%"; it may be 32, 64 or unset
    exit /b 1
)

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

reg query "%KEY%" /reg:%TAVRIN_REG_VIEW% >nul 2>&1
if errorlevel 1 (
    echo uninstall-service: no settings under %KEY%
) else (
    reg delete "%KEY%" /f /reg:%TAVRIN_REG_VIEW% >nul
    if errorlevel 1 (
        echo uninstall-service: deleting %KEY% failed
        set "RESULT=1"
    ) else (
        echo Settings %KEY% removed.
    )
)
exit /b %RESULT%
