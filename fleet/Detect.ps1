<#
Detect.ps1 - detection rule of the Intune Win32 app: "Use a custom detection
script", "Run script as 32-bit process on 64-bit clients": No (either works),
"Enforce script signature check": Yes when the script is signed, else No.

Intune counts the app as detected (installed) when the script exits 0 and
writes to standard output, and as not detected otherwise; anything written
to standard error also counts as not detected. So this script writes one
line and exits 0 only when kovex-deepclean-check.exe, run from
%ProgramW6432%\KovexDeepClean (where Install.cmd put it), exits 0 and its
JSON document says clean. It exits 1, writing nothing, when the check finds
traces (1), cannot tell (2), or the folder or a program is missing; and it
writes nothing to standard error in any case.

The check is started as a process of its own, not as a PowerShell native
command: its exit code is read from that process, never from a
$LASTEXITCODE that an earlier command may have left, and nothing it writes
reaches this script's streams.
#>
$ErrorActionPreference = 'Stop'
try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $check = Join-Path $folder 'kovex-deepclean-check.exe'
    if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
        exit 1
    }

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

    if ($process.ExitCode -eq 0) {
        $report = $json | ConvertFrom-Json
        if ($report.clean -eq $true) {
            Write-Output 'Kovex Deep Clean: clean, nothing of the maker''s drivers is left'
            exit 0
        }
    }
    exit 1
}
catch {
    exit 1
}
