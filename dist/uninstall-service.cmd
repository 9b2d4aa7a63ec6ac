@echo off
rem Stops and removes the service LMRAPISVC, deletes its installation
rem settings from the 32-bit registry view (the 64-bit view when
rem TAVRIN_REG_VIEW=64, as for install-service.cmd) and removes its event
rem source; the events already written stay in the log.  Run it from an
rem elevated command prompt.  The server's own files (config.ini, pw.fil,
rem the installation folder) are left as they are.
rem
rem   uninstall-service.cmd
setlocal EnableExtensions
set "SERVICE=LMRAPISVC"
set "KEY=HKLM\Software\Lumora\Tavrin"
set "EVENTKEY=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\%SERVICE%"
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

reg query "%EVENTKEY%" >nul 2>&1
if errorlevel 1 (
    echo uninstall-service: no event source %SERVICE%
) else (
    reg delete "%EVENTKEY%" /f >nul
    if errorlevel 1 (
        echo uninstall-service: deleting %EVENTKEY% failed
        set "RESULT=1"
    ) else (
        echo Event source %SERVICE% removed.
    )
)
exit /b %RESULT%
