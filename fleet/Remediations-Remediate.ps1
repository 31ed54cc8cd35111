<#
Remediations-Remediate.ps1 - remediation script of an Intune Remediations
script package; Remediations-Detect.ps1 is its detection script, which Intune
runs again afterwards and whose output then tells what is left. Intune runs
it only where the detection found a trace the cleanup removes.

It runs kovex-deepclean.exe from %ProgramW6432%\KovexDeepClean (with
devcon.exe beside it, which the administrator adds) and prints one line:
how many items the cleanup reported removed and how many it reported failed,
one count per item (a launch failure report above a FAILED line is not
counted again). The cleanup's own exit status is always 0 and tells
nothing. This script exits 0 when the cleanup ran to its end ("Done."), and
1 when the program is missing, could not be run, stopped early, or has not
finished within 30 minutes (it is then ended, with its process tree). It uses
only core cmdlets, and runs in ConstrainedLanguage mode.
#>
$ErrorActionPreference = 'Stop'

# Runs $Program from $Folder, in that folder, with the call operator in a job
# of its own, and waits at most $Minutes for it: a hung program must not hold
# the engine's script for ever. On time-out it ends the program's process
# tree (taskkill /T; the program is found by its full path, so no other copy
# is touched), then the job. Returns the program's output lines, its exit code
# ($null when it could not be started or was ended) and whether it was ended.
# Only core cmdlets and the types ConstrainedLanguage mode allows; the same
# text in every script of this kit that starts a program (tests/fleet
# compares them).
function Invoke-Bounded([string]$Folder, [string]$Program, [string[]]$Arguments, [int]$Minutes) {
    $ErrorActionPreference = 'Continue'
    $path = Join-Path $Folder $Program
    $job = Start-Job -ArgumentList $Folder, $path, $Arguments -ScriptBlock {
        param([string]$Folder, [string]$Path, [string[]]$Arguments)
        Set-Location -LiteralPath $Folder
        # 2>$null keeps standard error off the error stream, where Windows
        # PowerShell 5.1 would turn each of its lines into an error record.
        $lines = & $Path @Arguments 2>$null
        $status = $LASTEXITCODE
        [pscustomobject]@{ Lines = @($lines); Status = $status }
    }
    $ended = $null -eq (Wait-Job -Job $job -Timeout ($Minutes * 60))
    if ($ended) {
        $filter = "Name = '$Program'"
        foreach ($process in @(Get-CimInstance -ClassName Win32_Process -Filter $filter)) {
            if ($process.ExecutablePath -eq $path) {
                $null = & taskkill.exe /PID $process.ProcessId /T /F 2>&1
            }
        }
        Stop-Job -Job $job
    }
    $result = Receive-Job -Job $job -ErrorAction SilentlyContinue | Select-Object -Last 1
    Remove-Job -Job $job -Force
    if ($ended -or $null -eq $result) {
        return [pscustomobject]@{ Lines = @(); Status = $null; Ended = $ended }
    }
    [pscustomobject]@{ Lines = @($result.Lines); Status = $result.Status; Ended = $false }
}

try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $cleanup = Join-Path $folder 'kovex-deepclean.exe'
    if (-not (Test-Path -LiteralPath $cleanup -PathType Leaf)) {
        Write-Output "Not run: $cleanup is missing"
        exit 1
    }
    $run = Invoke-Bounded $folder 'kovex-deepclean.exe' @() 30
    $lines = @($run.Lines)
    # One line per item: the device and endpoint lines, the package lines,
    # the registry lines.
    $removed = @($lines | Where-Object { $_ -match '^\t (Removed :|Kovex INF: .* - Removed$)' }).Count
    $failed = @($lines | Where-Object { $_ -match '^\t (!!! Remove FAILED :|Kovex INF: .* - Remove FAILED!!!$|Error deleting registry :)' }).Count
    $counts = "removed $removed, failed $failed"
    if (@($lines | Where-Object { $_ -match 'Failed to launch process' }).Count -gt 0) {
        $counts += ' (a program, usually devcon.exe, could not be started)'
    }
    if ($run.Ended) {
        Write-Output "The cleanup did not finish within 30 minutes; it was ended, with its process tree"
        exit 1
    }
    if ($null -eq $run.Status) {
        Write-Output "Not run: $cleanup could not be started"
        exit 1
    }
    if ($lines -notcontains 'Done.') {
        Write-Output "The cleanup stopped early: $counts"
        exit 1
    }
    Write-Output "The cleanup ran: $counts"
    exit 0
}
catch {
    Write-Output "Not run: $($_.Exception.Message)"
    exit 1
}
