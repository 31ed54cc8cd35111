<#
Remediations-Detect.ps1 - detection script of an Intune Remediations script
package, with Remediations-Remediate.ps1 as its remediation script. "Run this
script using the logged-on credentials": No (it runs as System); "Run script
in 64-bit PowerShell": either; "Enforce script signature check": Yes when the
scripts are signed.

The programs must already be in %ProgramW6432%\KovexDeepClean, with
devcon.exe (the x64 Device Console of the Windows Driver Kit, which the
administrator adds), for example through the Win32 app's Install.cmd:
a script package carries no other files.

It runs kovex-deepclean-check.exe --json from that folder and prints one
line, which Intune shows as the detection output: the verdict, then each
trace's kind and id and each check that could not run, the whole cut to
2,048 characters (ending in "...") when longer. It exits 0 when the machine
is clean, and 1 (an issue: Intune then runs the remediation) when the check
finds traces, cannot tell, or cannot be run.
#>
$ErrorActionPreference = 'Stop'
$limit = 2048

function Write-Line([string]$Text) {
    if ($Text.Length -gt $limit) {
        $Text = $Text.Substring(0, $limit - 3) + '...'
    }
    Write-Output $Text
}

try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $check = Join-Path $folder 'kovex-deepclean-check.exe'
    if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
        Write-Line "UNKNOWN: $check is missing"
        exit 1
    }

    # A process of its own: its exit code is its own, never a $LASTEXITCODE
    # left by an earlier command.
    $start = New-Object System.Diagnostics.ProcessStartInfo
    $start.FileName = $check
    $start.Arguments = '--json'
    $start.WorkingDirectory = $folder
    $start.UseShellExecute = $false
    $start.CreateNoWindow = $true
    $start.RedirectStandardOutput = $true
    $start.RedirectStandardError = $true
    $process = [System.Diagnostics.Process]::Start($start)
    $errors = $process.StandardError.ReadToEndAsync()
    $json = $process.StandardOutput.ReadToEnd()
    $process.WaitForExit()
    $null = $errors.Result
    $status = $process.ExitCode

    if ($status -gt 2) {
        Write-Line "UNKNOWN: kovex-deepclean-check.exe ended with exit code $status"
        exit 1
    }
    $report = $json | ConvertFrom-Json
    $parts = @()
    foreach ($trace in @($report.traces)) {
        $parts += "$($trace.kind) $($trace.id)"
    }
    foreach ($entry in @($report.unchecked)) {
        $parts += "not checked: $($entry.check)"
    }
    if ($status -eq 0) {
        $verdict = 'CLEAN'
    }
    elseif ($status -eq 1) {
        $verdict = "NOT CLEAN: $(@($report.traces).Count) traces"
    }
    else {
        $verdict = "UNKNOWN: $(@($report.unchecked).Count) checks could not run"
    }
    if ($parts.Count -gt 0) {
        $verdict += ': ' + ($parts -join '; ')
    }
    Write-Line $verdict
    if ($status -eq 0) {
        exit 0
    }
    exit 1
}
catch {
    Write-Line "UNKNOWN: the check could not be run: $($_.Exception.Message)"
    exit 1
}
