@echo off
rem Registers the service LMRAPISVC (TavrinSvc.exe from this folder) as an
rem own-process service that starts with Windows, writes its four
rem installation settings, and registers the event source LMRAPISVC with
rem TavrinSvc.exe as its message file, so that Event Viewer can describe the
rem service's events.  Run it from an elevated command prompt.
rem
rem   install-service.cmd InstallDir JavaDir JavaName JavaOptions
rem
rem   InstallDir   the server's installation folder: its working directory,
rem                where config.ini and pw.fil are
rem   JavaDir      the folder of the Java launcher
rem   JavaName     the launcher's file name, for instance java.exe
rem   JavaOptions  the launcher's options before the main class, as one
rem                argument in double quotes; "" for none
rem
rem Each value holds at most 99 characters and no double quote.  They go to
rem the 32-bit registry view, where the 32-bit TavrinSvc.exe reads them.  A
rem 64-bit build of the program reads the 64-bit view: for it, set
rem TAVRIN_REG_VIEW=64 before running this script (and uninstall-service.cmd).
setlocal EnableExtensions
set "SERVICE=LMRAPISVC"
set "KEY=HKLM\Software\Lumora\Tavrin"
rem One key for both registry views: the event log's keys are not redirected.
set "EVENTKEY=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\%SERVICE%"
set "PROGRAM=%~dp0TavrinSvc.exe"
if not defined TAVRIN_REG_VIEW set "TAVRIN_REG_VIEW=32"
if not "%TAVRIN_REG_VIEW%"=="32" if not "%TAVRIN_REG_VIEW%"=="64" (
    echo install-service: TAVRIN_REG_VIEW is "%TAVRIN_REG_VIEW%"; it may be 32, 64 or unset
    exit /b 1
)

set "MISSING="
if [%4]==[] set "MISSING=JavaOptions"
if "%~3"=="" set "MISSING=JavaName"
if "%~2"=="" set "MISSING=JavaDir"
if "%~1"=="" set "MISSING=InstallDir"
if defined MISSING goto missing
if not [%5]==[] (
    echo install-service: too many arguments; put JavaOptions in double quotes
    goto usage
)
if not exist "%PROGRAM%" (
    echo install-service: %PROGRAM% not found; run this script from the folder of TavrinSvc.exe
    exit /b 1
)

call :check InstallDir "%~1"
if errorlevel 1 exit /b 1
call :check JavaDir "%~2"
if errorlevel 1 exit /b 1
call :check JavaName "%~3"
if errorlevel 1 exit /b 1
call :check JavaOptions "%~4"
if errorlevel 1 exit /b 1

sc query %SERVICE% >nul 2>&1
if not errorlevel 1 (
    echo install-service: the service %SERVICE% is already installed; run uninstall-service.cmd first
    exit /b 1
)

sc create %SERVICE% binPath= "\"%PROGRAM%\"" type= own start= auto DisplayName= "TavrinSvc" >nul
if errorlevel 1 (
    echo install-service: sc create %SERVICE% failed; is this prompt elevated?
    exit /b 1
)

call :write InstallDir "%~1"
if errorlevel 1 goto failed
call :write JavaDir "%~2"
if errorlevel 1 goto failed
call :write JavaName "%~3"
if errorlevel 1 goto failed
call :write JavaOptions "%~4"
if errorlevel 1 goto failed

rem Event types 7: error, warning and information.
reg add "%EVENTKEY%" /v EventMessageFile /t REG_EXPAND_SZ /d "%PROGRAM%" /f >nul
if errorlevel 1 goto eventfailed
reg add "%EVENTKEY%" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 goto eventfailed

echo Service %SERVICE% installed: %PROGRAM%
echo Settings written to %KEY% (%TAVRIN_REG_VIEW%-bit view).
echo Event source %SERVICE% registered: %EVENTKEY%
echo Start it with: net start %SERVICE%
exit /b 0

:failed
echo install-service: writing the settings to %KEY% failed; removing the service again
sc delete %SERVICE% >nul
exit /b 1

:eventfailed
echo install-service: registering the event source at %EVENTKEY% failed; removing the service again
reg delete "%EVENTKEY%" /f >nul 2>&1
sc delete %SERVICE% >nul
exit /b 1

:missing
echo install-service: missing argument: %MISSING%
:usage
echo usage: install-service.cmd InstallDir JavaDir JavaName JavaOptions
echo   for example: install-service.cmd "C:\Tavrin" "C:\Program Files\Java\bin" java.exe "-Xmx512m"
echo   JavaOptions may be "" for none.
exit /b 1

rem :check NAME "VALUE" refuses what the service could not read back: more
rem than 99 characters (its registry reads take 100 bytes with the
rem terminator), or a double quote, which reg.exe would not store as given.
:check
set "VALUE=%~2"
if not defined VALUE exit /b 0
set "REST=%VALUE%"
set /a LENGTH=0
:count
if not defined REST goto counted
set "REST=%REST:~1%"
set /a LENGTH+=1
goto count
:counted
if %LENGTH% GTR 99 (
    echo install-service: %1 has %LENGTH% characters, more than 99
    exit /b 1
)
set "BARE=%VALUE:"=%"
set "MARKED=%VALUE:"=#%"
if not "%BARE%"=="%MARKED%" (
    echo install-service: %1 must not hold a double quote
    exit /b 1
)
exit /b 0

rem :write NAME "VALUE" stores one setting as REG_SZ.  A trailing backslash is
rem doubled, or reg.exe would read it with the closing quote as an escaped
rem quote character.
:write
set "VALUE=%~2"
if not defined VALUE goto store
if "%VALUE:~-1%"=="\" set "VALUE=%VALUE%\"
:store
reg add "%KEY%" /v %1 /t REG_SZ /d "%VALUE%" /f /reg:%TAVRIN_REG_VIEW% >nul
exit /b
