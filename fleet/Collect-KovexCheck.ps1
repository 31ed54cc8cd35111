<#
.SYNOPSIS
Runs kovex-deepclean-check.exe on many machines over PowerShell remoting and
writes what each one reports to a CSV file.

.DESCRIPTION
Collect-KovexCheck.ps1 is run on an administrator's machine. For each
computer it runs "kovex-deepclean-check.exe --json" in the folder named by
-Folder (by default KovexDeepClean in the machine's native Program Files
folder, where Install.cmd or the Ansible playbook put it, with devcon.exe
beside it), optionally after the cleanup (-RunCleanup), and writes one CSV
row per machine and trace with the columns machine, status, clean,
complete, kind, id, description and unchecked. A machine without traces
gets one row with kind, id and description empty.

status is the check's exit status: 0 clean, 1 traces left, 2 could not tell
(unchecked says which checks could not run, and why), 3 a bad command line.
A machine where the check could not be run has status "missing" (no check
in the folder), "failed" (it could not be started, or its output was not
the check's JSON document) or "unreachable" (no remoting session), with the
reason in unchecked.

The check's exit status is read from the process that ran it, never from
$LASTEXITCODE, which keeps the last native command's status for the whole
session: after a program that could not be started it still holds the one
before. Its document is pure ASCII, so no console encoding needs setting
(a remoting session has no console, and setting [Console]::OutputEncoding
there fails).

The CSV file is written with Export-Csv -NoTypeInformation -Encoding UTF8.

.PARAMETER ComputerName
The machines to check, by name; also taken from the pipeline.

.PARAMETER Path
The CSV file to write.

.PARAMETER Folder
The folder on each machine that holds kovex-deepclean-check.exe,
kovex-deepclean.exe and devcon.exe. By default KovexDeepClean in the native
Program Files folder.

.PARAMETER RunCleanup
Runs kovex-deepclean.exe in that folder first, then the check.

.PARAMETER Credential
The account to connect with; by default the current one.

.EXAMPLE
Get-Content .\machines.txt | .\Collect-KovexCheck.ps1 -Path .\kovex-check.csv

.EXAMPLE
.\Collect-KovexCheck.ps1 -ComputerName PC01, PC02 -Path .\kovex.csv -RunCleanup

.NOTES
The scripts of the release's fleet folder are ASCII only. Remoting must be
enabled on the machines (Enable-PSRemoting), and the account must be an
administrator there.
#>
[CmdletBinding()]
param(
    [Parameter(Mandatory = $true, ValueFromPipeline = $true,
        ValueFromPipelineByPropertyName = $true)]
    [Alias('CN', 'Name')]
    [string[]]$ComputerName,

    [Parameter(Mandatory = $true)]
    [string]$Path,

    [string]$Folder = '',

    [switch]$RunCleanup,

    [System.Management.Automation.PSCredential]
    [System.Management.Automation.Credential()]
    $Credential = [System.Management.Automation.PSCredential]::Empty
)

begin {
    $machines = New-Object System.Collections.Generic.List[string]

    # Runs on each machine: the cleanup when asked, then the check, each as a
    # process of its own whose exit code is read from it.
    $remote = {
        param([string]$Folder, [bool]$RunCleanup)
        $ErrorActionPreference = 'Stop'
        if (-not $Folder) {
            $native = $env:ProgramW6432
            if (-not $native) { $native = $env:ProgramFiles }
            $Folder = Join-Path $native 'KovexDeepClean'
        }

        function Invoke-Program([string]$Program, [string]$Arguments) {
            $start = New-Object System.Diagnostics.ProcessStartInfo
            $start.FileName = Join-Path $Folder $Program
            $start.Arguments = $Arguments
            $start.WorkingDirectory = $Folder
            $start.UseShellExecute = $false
            $start.CreateNoWindow = $true
            $start.RedirectStandardOutput = $true
            $start.RedirectStandardError = $true
            $process = [System.Diagnostics.Process]::Start($start)
            $errors = $process.StandardError.ReadToEndAsync()
            $output = $process.StandardOutput.ReadToEnd()
            $process.WaitForExit()
            [pscustomobject]@{
                Status = $process.ExitCode
                Output = $output
                Errors = $errors.Result
            }
        }

        if (-not (Test-Path -LiteralPath (Join-Path $Folder 'kovex-deepclean-check.exe') -PathType Leaf)) {
            return [pscustomobject]@{ Status = 'missing'; Output = ''; Errors = "no kovex-deepclean-check.exe in $Folder" }
        }
        try {
            if ($RunCleanup) {
                $null = Invoke-Program 'kovex-deepclean.exe' ''
            }
            Invoke-Program 'kovex-deepclean-check.exe' '--json'
        }
        catch {
            [pscustomobject]@{ Status = 'failed'; Output = ''; Errors = $_.Exception.Message }
        }
    }

    function New-Row($Machine, $Status, $Clean, $Complete, $Trace, $Unchecked) {
        [pscustomobject]@{
            machine     = $Machine
            status      = $Status
            clean       = $Clean
            complete    = $Complete
            kind        = $Trace.kind
            id          = $Trace.id
            description = $Trace.description
            unchecked   = $Unchecked
        }
    }

    # The rows of one machine's result.
    function ConvertTo-Row($Machine, $Result) {
        $none = [pscustomobject]@{ kind = ''; id = ''; description = '' }
        $status = $Result.Status
        if ($status -isnot [int]) {
            return New-Row $Machine $status '' '' $none $Result.Errors
        }
        try {
            $report = $Result.Output | ConvertFrom-Json
        }
        catch {
            $report = $null
        }
        if ($null -eq $report -or $null -eq $report.clean -or $null -eq $report.traces) {
            $reason = "kovex-deepclean-check.exe ended with exit code $status without its JSON document"
            if ($Result.Errors) { $reason += ": $($Result.Errors.Trim())" }
            return New-Row $Machine 'failed' '' '' $none $reason
        }
        $unchecked = (@($report.unchecked) | ForEach-Object { "$($_.check): $($_.reason)" }) -join '; '
        $traces = @($report.traces)
        if ($traces.Count -eq 0) {
            return New-Row $Machine $status $report.clean $report.complete $none $unchecked
        }
        foreach ($trace in $traces) {
            New-Row $Machine $status $report.clean $report.complete $trace $unchecked
        }
    }
}

process {
    foreach ($name in $ComputerName) {
        if ($name) { $machines.Add($name) }
    }
}

end {
    $connect = @{ ComputerName = $machines.ToArray() }
    if ($Credential -ne [System.Management.Automation.PSCredential]::Empty) {
        $connect.Credential = $Credential
    }
    $failures = @()
    $results = @(Invoke-Command @connect -ScriptBlock $remote -ArgumentList $Folder, $RunCleanup.IsPresent `
            -ErrorAction SilentlyContinue -ErrorVariable failures)

    # PowerShell's hash tables ignore case, as machine names do.
    $byMachine = @{}
    foreach ($result in $results) {
        $byMachine[$result.PSComputerName] = $result
    }
    $why = @{}
    foreach ($failure in $failures) {
        $target = "$($failure.TargetObject)"
        if ($failure.OriginInfo) { $target = $failure.OriginInfo.PSComputerName }
        if ($target -and -not $why.ContainsKey($target)) {
            $why[$target] = $failure.Exception.Message
        }
    }

    $rows = foreach ($machine in $machines) {
        if ($byMachine.ContainsKey($machine)) {
            ConvertTo-Row $machine $byMachine[$machine]
        }
        else {
            $reason = 'no remoting session'
            if ($why.ContainsKey($machine)) { $reason = $why[$machine] }
            ConvertTo-Row $machine ([pscustomobject]@{ Status = 'unreachable'; Output = ''; Errors = $reason })
        }
    }
    $rows | Export-Csv -LiteralPath $Path -NoTypeInformation -Encoding UTF8
    Write-Verbose "$(@($rows).Count) rows for $($machines.Count) machines written to $Path"
}
