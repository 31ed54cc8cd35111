<#
ConfigMgr-Detect.ps1 - detection method of a Configuration Manager
application's Script Installer deployment type: "Use a custom script to
detect the presence of this deployment type", script type PowerShell.

Configuration Manager reads a detection script by its exit code and its two
output streams:
  exit 0, output on standard output, none on standard error  installed
  exit 0, nothing on either stream                            not installed
  exit 0, nothing on standard output, some on standard error  unknown (failure)
  exit non-zero                                               unknown (failure)
So this script
  - writes one line and exits 0 when kovex-deepclean-check.exe, run from
    %ProgramW6432%\KovexDeepClean, exits 0: clean ("installed");
  - writes nothing and exits 0 when the check finds traces (1), or when the
    folder or the check is missing, as before the first install ("not
    installed": the client then runs the installation program);
  - exits with the check's status (2: it could not tell; 3 or more: it
    could not be run as asked), or 1 when it could not be started, writing
    nothing: a detection failure, not a reason to install again.
It never writes to standard error, and never depends on the working folder
or on a $LASTEXITCODE left by an earlier command.

The client's default PowerShell execution policy (client setting "Computer
Agent", "PowerShell execution policy") is All Signed: sign this script (see
README.txt) or set that policy to Bypass.
#>
$ErrorActionPreference = 'Stop'
try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $check = Join-Path $folder 'kovex-deepclean-check.exe'
    if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
        exit 0
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
    $null = $process.StandardOutput.ReadToEnd()
    $process.WaitForExit()
    $null = $errors.Result
    $status = $process.ExitCode
}
catch {
    exit 1
}

if ($status -eq 0) {
    Write-Output 'Kovex Deep Clean: clean'
    exit 0
}
if ($status -eq 1) {
    exit 0
}
exit $status
