<#
Remediations-Remediate.ps1 - remediation script of an Intune Remediations
script package; Remediations-Detect.ps1 is its detection script, which Intune
runs again afterwards and whose output then tells what is left.

It runs kovex-deepclean.exe from %ProgramW6432%\KovexDeepClean (with
devcon.exe beside it, which the administrator adds) and prints one line:
how many items the cleanup reported removed and how many it reported
failed. The cleanup's own exit status is always 0 and tells nothing. This
script exits 0 when the cleanup ran to its end ("Done."), and 1 when the
program is missing or could not be run.
#>
$ErrorActionPreference = 'Stop'
try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $cleanup = Join-Path $folder 'kovex-deepclean.exe'
    if (-not (Test-Path -LiteralPath $cleanup -PathType Leaf)) {
        Write-Output "Not run: $cleanup is missing"
        exit 1
    }

    $start = New-Object System.Diagnostics.ProcessStartInfo
    $start.FileName = $cleanup
    $start.WorkingDirectory = $folder
    $start.UseShellExecute = $false
    $start.CreateNoWindow = $true
    $start.RedirectStandardOutput = $true
    $start.RedirectStandardError = $true
    $process = [System.Diagnostics.Process]::Start($start)
    $errors = $process.StandardError.ReadToEndAsync()
    $output = $process.StandardOutput.ReadToEnd()
    $process.WaitForExit()
    $null = $errors.Result

    $lines = $output -split "`r?`n"
    $removed = @($lines | Where-Object { $_ -match '^\t (Removed :|Kovex INF: .* - Removed$)' }).Count
    $failed = @($lines | Where-Object { $_ -match 'FAILED|Failed to launch|Error deleting' }).Count
    if ($lines -notcontains 'Done.') {
        Write-Output "The cleanup stopped early: removed $removed, failed $failed"
        exit 1
    }
    Write-Output "The cleanup ran: removed $removed, failed $failed"
    exit 0
}
catch {
    Write-Output "Not run: $($_.Exception.Message)"
    exit 1
}
