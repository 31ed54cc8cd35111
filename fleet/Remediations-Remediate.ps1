<#
Remediations-Remediate.ps1 - remediation script of an Intune Remediations
script package; Remediations-Detect.ps1 is its detection script, which Intune
runs again afterwards and whose output (the post-remediation detection
output) then tells what is left, trace by trace. Intune runs it only where
the detection found a trace the cleanup removes.

It runs kovex-deepclean.exe in %ProgramW6432%\KovexDeepClean (with
devcon.exe beside it, which the administrator adds), which bounds its own
run (25 minutes from its start; past that it starts no more programs and
still ends with "Done."). Its exit status is always 0 and tells nothing; its
output, saved as it is written to cleanup-remediation.log in that folder
(this engine's own log; a log of an earlier run that cannot be deleted
stops it), does. cmd.exe
saves it, as Install.cmd does: its bytes reach the file untouched (the call
operator would decode them in the console's code page), and no method of a
.NET type is needed, which ConstrainedLanguage mode refuses. Then
"kovex-deepclean-check.exe --cleanup-log cleanup.log" decides, as everywhere
else, whether the cleanup ran to its end; this script prints the check's one
line and exits 0 when the check says so (its exit 0), and 1 otherwise: the
cleanup, the check or devcon.exe missing, the cleanup or the check not
startable, the log not written, the cleanup stopped before
"Done.", the log unreadable. It uses only core cmdlets, and runs in
ConstrainedLanguage mode.
#>
try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $cleanup = Join-Path $folder 'kovex-deepclean.exe'
    $check = Join-Path $folder 'kovex-deepclean-check.exe'
    foreach ($program in @($cleanup, $check)) {
        if (-not (Test-Path -LiteralPath $program -PathType Leaf)) {
            Write-Output "Not run: $program is missing: install the Win32 app first"
            exit 1
        }
    }
    # Without devcon.exe every listing fails and the run still ends "Done.".
    $devcon = Join-Path $folder 'devcon.exe'
    if (-not (Test-Path -LiteralPath $devcon -PathType Leaf)) {
        Write-Output "Not run: $devcon is missing: put the x64 devcon.exe of the Windows Driver Kit beside the programs"
        exit 1
    }
    # The cleanup finds devcon.exe in its working folder. Its log is this
    # engine's own (Install.cmd saves its run to cleanup.log, the collector
    # and the playbook theirs): a run of another engine never holds it, and
    # a cleanup already running makes this one wait on the cleanup's own
    # lock. The log of an earlier run goes first: it must not stand for
    # this one.
    Set-Location -LiteralPath $folder -ErrorAction Stop
    $log = Join-Path $folder 'cleanup-remediation.log'
    # What cannot be deleted stays, and is found below (a folder of that
    # name would ask to confirm, which a non-interactive session cannot).
    try { Remove-Item -LiteralPath $log -Force -ErrorAction SilentlyContinue } catch { }
    if (Test-Path -LiteralPath $log) {
        Write-Output "Not run: $log from an earlier run could not be deleted"
        exit 1
    }
    & cmd.exe /d /c '.\kovex-deepclean.exe >cleanup-remediation.log 2>&1'
    # No log: cmd.exe could not write it, and the cleanup never started.
    if (-not (Test-Path -LiteralPath $log)) {
        Write-Output "Not run: the cleanup was not started: $log could not be written"
        exit 1
    }
    $lines = @(& $check --cleanup-log $log 2>$null)
    $status = $LASTEXITCODE
    $line = "kovex-deepclean-check.exe --cleanup-log ended with exit code '$status' without its line"
    if ($lines.Count -gt 0) { $line = $lines[0] }
    Write-Output $line
    if ($status -eq 0) { exit 0 }
    exit 1
}
catch {
    # A program that fails to start throws a message of several lines: the
    # output is one line.
    $line = "Not run: $($_.Exception.Message)" -replace '\s+', ' '
    if ($line.Length -gt 2048) { $line = $line.Substring(0, 2048) }
    Write-Output $line
    exit 1
}
