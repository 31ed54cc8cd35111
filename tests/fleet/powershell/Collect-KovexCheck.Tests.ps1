# Collect-KovexCheck.ps1, the administrator's collector, in-process with the
# remoting cmdlets mocked (Invoke-Command, Wait-Job, Receive-Job, Stop-Job,
# Remove-Job, with their real parameters) and the clock too (Get-Date). Each
# machine's script block runs here, in the collector's language mode, against
# stand-in programs in a folder of its own. In ConstrainedLanguage the
# collector runs from a script block of that mode (as a script an
# application-control policy does not trust); the mocks, like the engine's
# own cmdlets, run in FullLanguage.
BeforeDiscovery { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }
BeforeAll {
    . (Join-Path $PSScriptRoot 'FleetTest.ps1')
    # A zone with daylight-saving time: the run below crosses its change.
    $env:TZ = 'Europe/Berlin'
    [System.TimeZoneInfo]::ClearCachedData()
    $DaylightSavingEnds = [datetime]::new(2026, 10, 25, 1, 0, 0, [System.DateTimeKind]::Utc)

    # What the mocks share with the tests (a mock's body does not see the
    # test's variables).
    $global:Shared = $Shared = @{}

    $Header = '"machine","status","clean","complete","kind","id","description","awaits_reboot","manual_removal","unchecked","checked_at"'

    # The check as a machine has it: --csv and --json answer what Machine
    # says, --cleanup-log the one decision of the cleanup's log.
    function New-Check([string]$Folder, [hashtable]$Machine) {
        $csv = (@($Header) + @($Machine.Rows)) -join "`r`n"
        if (-not $Machine.Rows) { $csv = '' }
        $script = @"
import sys
if sys.argv[1:] == ["--csv"]:
    sys.stdout.buffer.write($(ConvertTo-Json ($csv + ($csv ? "`r`n" : ''))).encode())
    sys.exit($($Machine.Status))
if sys.argv[1:] == ["--json"]:
    print('{"machine": "$($Machine.Name)"}')
    sys.exit($($Machine.Status))
if $($Machine.CheckWithoutCleanupLog ? 'True' : 'False'):
    print("usage: kovex-deepclean-check.exe [--csv|--json]", file=sys.stderr)
    sys.exit(3)
$CleanupLogCheck
"@
        New-StandIn (Join-Path $Folder 'kovex-deepclean-check.exe') $script ($Machine.CheckShell ?? '/usr/bin/env python3')
    }

    # Machines by name: a folder of stand-ins (under ProgramW6432) for each,
    # or Unreachable, or Hangs (its job never ends).
    function New-Fleet([hashtable[]]$Machines) {
        $fleet = @{}
        foreach ($machine in $Machines) {
            $native = Join-Path $TestDrive ([guid]::NewGuid())
            $folder = Join-Path $native 'KovexDeepClean'
            $null = New-Item -ItemType Directory -Force -Path $folder
            if (-not $machine.Missing) { New-Check $folder $machine }
            # The cleanup writes its recorded log.
            if ($machine.Cleanup) {
                New-StandIn (Join-Path $folder 'kovex-deepclean.exe') "cat '$(Get-RecordedLog $machine.Cleanup)'"
            }
            # An earlier run's log that cannot be deleted (a folder with a file).
            if ($machine.HeldLog) { $null = New-Item -ItemType Directory -Path (Join-Path $folder 'cleanup-collector.log/held') }
            $fleet[$machine.Name] = $machine + @{ Native = $native
                System = (New-SystemFolder (Join-Path $native 'system')) }
        }
        $fleet
    }

    # Runs the collector in Mode with Parameters; every machine in $Fleet.
    function Invoke-Collector([string]$Mode, [hashtable]$Parameters) {
        $Shared.Stops = @()
        $Shared.Clock = $Shared.Start
        $run = { param($Script, $Parameters) & $Script @Parameters }
        if ($Mode -eq 'ConstrainedLanguage') {
            [scriptblock].GetProperty('LanguageMode', [System.Reflection.BindingFlags]'NonPublic,Instance').
                SetValue($run, [System.Management.Automation.PSLanguageMode]::ConstrainedLanguage)
        }
        & $run $Collector $Parameters
    }

    # The CSV file's rows, by machine.
    function Read-Rows([string]$Path) {
        Import-Csv -LiteralPath $Path | Group-Object machine -AsHashTable -AsString
    }
}

Describe 'Collect-KovexCheck.ps1 in <Mode>' -ForEach $Modes {
    BeforeAll {
        $Collector = New-ReleaseCopy 'Collect-KovexCheck.ps1' (New-Item -ItemType Directory -Path (Join-Path $TestDrive $Mode)).FullName

        # Remoting: each machine's block runs at once, here, in its own
        # folder and with its own ProgramW6432; a machine that hangs has a
        # job that never ends, one that is unreachable a failed one.
        Mock Invoke-Command {
            $machine = $Shared.Fleet[$ComputerName[0]]
            $job = [pscustomobject]@{ Name = $ComputerName[0]; State = 'Completed'; Output = $null; Failure = $null
                Started = $Shared.Clock }
            if ($machine.Unreachable) {
                $job.State = 'Failed'
                $job.Failure = "[$($ComputerName[0])] Connecting to remote server $($ComputerName[0]) failed with the following error message : WinRM cannot complete the operation."
                return $job
            }
            if ($machine.Hangs) { $job.State = 'Running'; return $job }
            $saved = @{ ProgramW6432 = $env:ProgramW6432; PATH = $env:PATH }
            $env:ProgramW6432 = $machine.Native
            $env:PATH = "$($machine.System):$env:PATH"
            Push-Location
            try { $job.Output = & $ScriptBlock @ArgumentList }
            catch { $job.State = 'Failed'; $job.Failure = "$_" }
            finally {
                Pop-Location
                $env:ProgramW6432 = $saved.ProgramW6432
                $env:PATH = $saved.PATH
            }
            $job
        }
        Mock Wait-Job { } -RemoveParameterType Job
        Mock Receive-Job {
            if ($Job.Failure) { Write-Error $Job.Failure }
            $Job.Output
        } -RemoveParameterType Job
        Mock Stop-Job {
            # What the CSV file held when the job was stopped, and when.
            $Shared.Stops += [pscustomobject]@{ Machine = $Job.Name; Csv = (Get-Content -LiteralPath $Shared.CsvPath -Raw)
                Minutes = ($Shared.Clock - $Job.Started).TotalMinutes }
            $Job.State = 'Stopped'
        } -RemoveParameterType Job
        Mock Remove-Job { } -RemoveParameterType Job
        # A minute passes at each look at the clock, from half an hour before
        # the end of daylight-saving time; the collector sees local time.
        $Shared.Start = $DaylightSavingEnds.AddMinutes(-30)
        Mock Get-Date { $Shared.Clock = $Shared.Clock.AddMinutes(1); $Shared.Clock.ToLocalTime() }
    }

    Context 'the check' {
        BeforeAll {
            $Fleet = $Shared.Fleet = New-Fleet @(
                @{ Name = 'pc-clean'; Status = 0; Rows = '"pc-clean","0","True","True","","","","","","","2026-12-08T04:11:29Z"' }
                @{ Name = 'pc-traces'; Status = 1; Rows = '"pc-traces","1","False","True","driver","oem12.inf","Kovex audio driver","False","","","2026-12-08T04:11:29Z"',
                    '"pc-traces","1","False","True","service","kvx","Kovex service, ""kvx""","False","","","2026-12-08T04:11:29Z"' }
                @{ Name = 'pc-reboot'; Status = 1; Rows = '"pc-reboot","1","False","True","driver","oem3.inf","Kovex driver","True","","","2026-12-08T04:11:29Z"' }
                @{ Name = 'pc-manual'; Status = 1; Rows = '"pc-manual","1","False","True","file","c:\x.sys","Kovex file","False","del c:\x.sys","","2026-12-08T04:11:29Z"' }
                @{ Name = 'pc-unknown'; Status = 2; Rows = '"pc-unknown","2","False","False","","","","","","devices: devcon.exe is missing","2026-12-08T04:11:29Z"' }
                @{ Name = 'pc-old'; Status = 3 }
                @{ Name = 'pc-norows'; Status = 1 }
                @{ Name = 'pc-missing'; Missing = $true }
                @{ Name = 'pc-unstartable'; Status = 0; Rows = '"pc-unstartable","0","True","True","","","","","","","2026-12-08T04:11:29Z"'; CheckShell = $Unstartable }
                @{ Name = 'pc-unreachable'; Unreachable = $true }
                @{ Name = 'pc-slow'; Hangs = $true }
                # A name beyond ASCII, which an ASCII machines.txt writes as '??-1'.
                @{ Name = "$([char]0x43F)$([char]0x43A)-1"; Missing = $true }
            )
            $CsvPath = $Shared.CsvPath = Join-Path $TestDrive "$Mode-check.csv"
            $results = Join-Path $TestDrive "$Mode-results"
            Invoke-Collector $Mode @{ ComputerName = @($Fleet.Keys | Sort-Object); Path = $CsvPath; ResultsFolder = $results }
            $Rows = Read-Rows $CsvPath
        }

        It 'writes UTF-8 with a byte-order mark, its header once' {
            $bytes = [System.IO.File]::ReadAllBytes($CsvPath)
            $bytes[0..2] | Should -Be 0xEF, 0xBB, 0xBF
            $lines = Get-Content -LiteralPath $CsvPath
            $lines[0] | Should -Be ($Header + ',"cleanup","computer"')
            @($lines | Where-Object { $_ -like '"machine",*' }).Count | Should -Be 1
        }

        It '<Machine>: <Status>' -ForEach @(
            @{ Machine = 'pc-clean'; Status = '0'; Count = 1; Document = $true }
            @{ Machine = 'pc-traces'; Status = '1'; Count = 2; Document = $true }
            @{ Machine = 'pc-reboot'; Status = '1'; Count = 1; Document = $true }
            @{ Machine = 'pc-manual'; Status = '1'; Count = 1; Document = $true }
            @{ Machine = 'pc-unknown'; Status = '2'; Count = 1; Document = $true }
            @{ Machine = 'pc-old'; Status = 'bad command line'; Count = 1; Reason = '*exit code 3*' }
            @{ Machine = 'pc-norows'; Status = 'failed'; Count = 1; Reason = '*exit code 1 without its rows'; Document = $true }
            @{ Machine = 'pc-missing'; Status = 'missing'; Count = 1; Reason = 'no kovex-deepclean-check.exe in *KovexDeepClean' }
            @{ Machine = 'pc-unstartable'; Status = 'failed'; Count = 1; Reason = '*without its rows' }
            @{ Machine = 'pc-unreachable'; Status = 'unreachable'; Count = 1; Reason = '*Connecting to remote server pc-unreachable failed*' }
            @{ Machine = 'pc-slow'; Status = 'timed out'; Count = 1; Reason = 'no answer within 45 minutes' }
        ) {
            $mine = @($Rows[$Machine])
            $mine.Count | Should -Be $Count
            $mine.status | Select-Object -Unique | Should -Be $Status
            $mine.cleanup | Select-Object -Unique | Should -Be ''
            $mine.computer | Select-Object -Unique | Should -Be $Machine
            if ($Reason) { $mine[0].unchecked | Should -BeLike $Reason }
            else {
                # The check's rows, field for field.
                $expected = @($Fleet[$Machine].Rows | ForEach-Object { ($_ + ',"","' + $Machine + '"') | ConvertFrom-Csv -Header (@($Header -replace '"', '' -split ',') + 'cleanup' + 'computer') })
                for ($i = 0; $i -lt $Count; $i++) { ($mine[$i] | ConvertTo-Json) | Should -Be ($expected[$i] | ConvertTo-Json) }
            }
            $saved = Join-Path $results "$Machine.json"
            if ($Document) { (Get-Content -LiteralPath $saved -Raw).Trim() | Should -Be "{`"machine`": `"$Machine`"}" }
            else { $saved | Should -Not -Exist }
        }

        It 'lists the machines asked for the page, one a line' {
            Get-Content -LiteralPath (Join-Path $results 'machines.txt') | Should -Be @($Fleet.Keys | Sort-Object)
        }

        It 'times out by UTC across a daylight-saving change, the row written before the job is stopped' {
            $Stops = $Shared.Stops
            $Stops.Machine | Should -Be 'pc-slow'
            $Stops[0].Minutes | Should -BeGreaterOrEqual 45
            $Stops[0].Minutes | Should -BeLessThan 50
            $Stops[0].Csv | Should -Match '(?m)^"pc-slow","timed out"'
        }
    }

    Context '-RunCleanup' {
        BeforeAll {
            $row = '"{0}","0","True","True","","","","","","","2026-12-08T04:11:29Z"'
            $Fleet = $Shared.Fleet = New-Fleet @(
                @{ Name = 'pc-done'; Status = 0; Rows = ($row -f 'pc-done'); Cleanup = 'whole' }
                @{ Name = 'pc-waited'; Status = 0; Rows = ($row -f 'pc-waited'); Cleanup = 'waited' }
                @{ Name = 'pc-deadline'; Status = 0; Rows = ($row -f 'pc-deadline'); Cleanup = 'deadline' }
                @{ Name = 'pc-stopped'; Status = 0; Rows = ($row -f 'pc-stopped'); Cleanup = 'stopped' }
                @{ Name = 'pc-nodevcon'; Status = 0; Rows = ($row -f 'pc-nodevcon'); Cleanup = 'nodevcon' }
                @{ Name = 'pc-unstartable'; Status = 0; Rows = ($row -f 'pc-unstartable'); Cleanup = 'unstartable' }
                @{ Name = 'pc-oldcheck'; Status = 0; Rows = ($row -f 'pc-oldcheck'); Cleanup = 'whole'; CheckWithoutCleanupLog = $true }
                @{ Name = 'pc-missing'; Missing = $true; Cleanup = 'whole' }
                @{ Name = 'pc-heldlog'; Status = 0; Rows = ($row -f 'pc-heldlog'); Cleanup = 'whole'; HeldLog = $true }
                @{ Name = 'pc-slow'; Hangs = $true }
            )
            $CsvPath = $Shared.CsvPath = Join-Path $TestDrive "$Mode-cleanup.csv"
            # The least time-out -RunCleanup takes: the cleanup's 25 minutes and
            # 2 for its deletions, and the check's 5.
            Invoke-Collector $Mode @{ ComputerName = @($Fleet.Keys | Sort-Object); Path = $CsvPath; RunCleanup = $true; TimeoutMinutes = 32 }
            $Rows = Read-Rows $CsvPath
        }

        # Recording: the check's recorded answer for that log, read back
        # whole from the CSV file (quotes, commas and all).
        It '<Machine>: <Recording><Cleanup>' -ForEach @(
            @{ Machine = 'pc-done'; Recording = 'whole' }
            @{ Machine = 'pc-waited'; Recording = 'waited' }
            @{ Machine = 'pc-deadline'; Recording = 'deadline' }
            @{ Machine = 'pc-stopped'; Recording = 'stopped' }
            @{ Machine = 'pc-nodevcon'; Recording = 'nodevcon' }
            @{ Machine = 'pc-unstartable'; Recording = 'unstartable' }
            @{ Machine = 'pc-oldcheck'; Cleanup = 'not known: *exit code 3 without its line' }
            @{ Machine = 'pc-missing'; Cleanup = 'not run: *' }
            @{ Machine = 'pc-heldlog'; Cleanup = 'not run: *cleanup-collector.log from an earlier run could not be deleted' }
            @{ Machine = 'pc-slow'; Cleanup = 'stopped with the machine''s job: *' }
        ) {
            @($Rows[$Machine]).Count | Should -Be 1
            if ($Recording) { $Rows[$Machine].cleanup | Should -Be (Get-RecordedAnswer $Recording).Line }
            else { $Rows[$Machine].cleanup | Should -BeLike $Cleanup }
        }

        It 'refuses a time-out shorter than the cleanup and the check: <Minutes> minutes' -ForEach @(
            @{ Minutes = 31 }, @{ Minutes = 36; Results = $true }, @{ Minutes = 1 }
        ) {
            $path = Join-Path $TestDrive "$Mode-refused.csv"
            $parameters = @{ ComputerName = 'pc-done'; Path = $path; RunCleanup = $true; TimeoutMinutes = $Minutes }
            if ($Results) { $parameters.ResultsFolder = Join-Path $TestDrive "$Mode-refused" }
            { Invoke-Collector $Mode $parameters } |
                Should -Throw '*too short for -RunCleanup*'
            $path | Should -Not -Exist
            Should -Invoke Invoke-Command -Times 0 -Exactly -Scope It
        }
    }

    It 'connects to each machine as one job, with the credential given' {
        $Fleet = $Shared.Fleet = New-Fleet @(@{ Name = 'pc-a'; Status = 0; Rows = '"pc-a","0","True","True","","","","","","","2026-12-08T04:11:29Z"' })
        $credential = [pscredential]::new('admin', (ConvertTo-SecureString 'x' -AsPlainText -Force))
        $CsvPath = $Shared.CsvPath = Join-Path $TestDrive "$Mode-credential.csv"
        Invoke-Collector $Mode @{ ComputerName = 'pc-a'; Path = $CsvPath; Credential = $credential; Folder = (Join-Path $Fleet['pc-a'].Native 'KovexDeepClean') }
        Should -Invoke Invoke-Command -Times 1 -Exactly -Scope It -ParameterFilter {
            $ComputerName -eq 'pc-a' -and $AsJob -and $Credential.UserName -eq 'admin' -and $ArgumentList[1] -eq $false
        }
        (Read-Rows $CsvPath)['pc-a'].status | Should -Be '0'
    }
}
